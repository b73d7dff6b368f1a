// The process-wide option values, one per registry value name.
#pragma once

#include <windows.h>

#include <cstddef>
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

// Not in the registry.
extern uint32_t matchSumLimit;      // fuzzy matching of a name group while unmatched A + unmatched B is below it
extern uint32_t matchProductLimit;  // the same for unmatched A x unmatched B
extern int32_t consoleOutput;
extern int32_t messageBoxes;

// Stored as "ApplicationVersion" at exit; any other stored version makes the start-up reset the options.
constexpr int32_t kApplicationVersion = 551;

// Whether either panel holds a document. The interface sets it; until then no document is loaded.
// Names already interned keep their case rule, so the reset leaves the case options alone while it is true.
extern bool (*documentsLoaded)();

// What the exit save takes from the main window, filled in by the main window once it exists.
// Without a window the stored rectangle is kept; without checkBox the three options keep their values.
enum ExitCheckBox { kAutoSelectBox, kAutoCompareBox, kAutoLoadBox };
struct ExitState {
    HWND mainWindow = nullptr;
    int (*checkBox)(ExitCheckBox which) = nullptr;  // non-zero when the toolbar check box is checked
};
extern ExitState exitState;

}  // namespace OptionSet

// Every value that has a reset value goes back to it. logMode 1 sends parse errors to the log file instead
// of message boxes.
void resetOptions(int logMode);
// Registry failures are silent: a missing key, a missing value or one of the wrong type leaves the value.
void loadOptionsFromRegistry();
// atExit 1 also writes the window, the folders, the exit-only options and the version.
void saveOptionsToRegistry(int atExit);
// Sets the two matching limits from "CompareLevel"; an unknown level leaves them.
void applyCompareLevel();
// Date modes: 0 none, 1 date and time, 2 only date, 3 only time.
void setNormalizeDateMode(int mode);
int getNormalizeDateMode();
// Calls visit with the storage of every option value, so that they can be saved and restored as a whole.
void forEachOptionStorage(void (*visit)(void* storage, size_t bytes, void* context), void* context);
