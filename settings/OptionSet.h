// The process-wide option values, one per registry value name.
#pragma once

#include <cstdint>

#include "model/FilePath.h"
#include "settings/EncodingSpec.h"

namespace OptionSet {

constexpr int kPathLength = 260;

// Parser and loading.
extern uint8_t DoNamespaces;
extern uint8_t DoSchema;
extern uint8_t SchemaFullChecking;
extern uint8_t ValidationErrorAsFatal;
extern uint8_t ContinueAfterFatalError;
extern int32_t SchemaValidation;
extern int32_t UseExternalSchema;
extern FilePath PathToExternalSchema;
extern int32_t AllowNonPrintableChars;
extern int32_t ShowErrorMessages;
extern int32_t LogErrorMessages;
extern int32_t XMLElementCaseSensitive;
extern int32_t XMLAttributeCaseSensitive;

// Comparison.
extern int32_t CompareLevel;
extern uint32_t FlagComparsion;
extern int32_t IgnoreAttributes;
extern int32_t IgnoreValues;
extern int32_t UniqueAttributes;
extern int32_t IgnoreNamespaces;
extern int32_t IgnoreOrderElements;
extern int32_t NormalizeDate;
extern int32_t FlagNormalizeDate;
extern int32_t NormalizeNumber;
extern int32_t DecimalPlaces;
extern int32_t SignificantFigures;
extern int32_t HighlightChars;

// Output.
extern int32_t UseEncoding;
extern EncodingSpec EncodingString;
extern int32_t PrintDoctype;
extern int32_t InsertPI;
extern int32_t IncludeIgnoredElements;
extern int32_t OpenAfterSave;
extern wchar_t ExternalApplication[kPathLength];

// Display and behaviour.
extern int32_t ExpandDiff;
extern int32_t AutoScroll;
extern int32_t DisplayConfirmation;
extern int32_t LoadSeparate;
extern int32_t DisplayFullMode;
extern int32_t HandleNewLine;
extern int32_t AdjustView;
extern int32_t ResultView;
extern int32_t IgnoreElementsByFullName;
extern int32_t LoadIgnoredAtStartUp;
extern int32_t AddAllElements;
extern int32_t ShortNameField;
extern int32_t AutoCompare;
extern int32_t AutoLoad;
extern int32_t AutoSelect;
extern int32_t SplitVertically;
extern int32_t ViewMode;
extern int32_t TipOfTheDay;
extern int32_t TopMainPos;
extern int32_t BottomMainPos;
extern int32_t LeftMainPos;
extern int32_t RightMainPos;
extern int32_t ApplicationVersion;
extern wchar_t LeftDir[kPathLength];
extern wchar_t RightDir[kPathLength];
extern wchar_t SaveDir[kPathLength];
extern wchar_t OptionsDir[kPathLength];

}  // namespace OptionSet
