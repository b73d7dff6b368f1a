#include "settings/OptionSet.h"

namespace OptionSet {

uint8_t DoNamespaces = 1;
uint8_t DoSchema = 1;
uint8_t SchemaFullChecking = 0;
uint8_t ValidationErrorAsFatal = 0;
uint8_t ContinueAfterFatalError = 0;
int32_t SchemaValidation = 0;
int32_t UseExternalSchema = 0;
FilePath PathToExternalSchema;
int32_t AllowNonPrintableChars = 0;
int32_t ShowErrorMessages = 1;
int32_t LogErrorMessages = 0;
int32_t XMLElementCaseSensitive = 1;
int32_t XMLAttributeCaseSensitive = 1;

int32_t CompareLevel = 3;
uint32_t FlagComparsion = 0;
int32_t IgnoreAttributes = 0;
int32_t IgnoreValues = 0;
int32_t UniqueAttributes = 0;
int32_t IgnoreNamespaces = 0;
int32_t IgnoreOrderElements = 1;
int32_t NormalizeDate = 0;
int32_t FlagNormalizeDate = 0;
int32_t NormalizeNumber = 0;
int32_t DecimalPlaces = -1;
int32_t SignificantFigures = 0;
int32_t HighlightChars = 0;

int32_t UseEncoding = 0;
EncodingSpec EncodingString;
int32_t PrintDoctype = 0;
int32_t InsertPI = 0;
int32_t IncludeIgnoredElements = 0;
int32_t OpenAfterSave = 0;
wchar_t ExternalApplication[kPathLength] = L"default";

int32_t ExpandDiff = 0;
int32_t AutoScroll = 1;
int32_t DisplayConfirmation = 1;
int32_t LoadSeparate = 1;
int32_t DisplayFullMode = 1;
int32_t HandleNewLine = 1;
int32_t AdjustView = 0;
int32_t ResultView = 1;
int32_t IgnoreElementsByFullName = 1;
int32_t LoadIgnoredAtStartUp = 0;
int32_t AddAllElements = 0;
int32_t ShortNameField = 0;
int32_t AutoCompare = 1;
int32_t AutoLoad = 0;
int32_t AutoSelect = 1;
int32_t SplitVertically = 1;
int32_t ViewMode = 1086;
int32_t TipOfTheDay = 1801;
int32_t TopMainPos = -111;
int32_t BottomMainPos = -111;
int32_t LeftMainPos = -111;
int32_t RightMainPos = -111;
int32_t ApplicationVersion = 0;
wchar_t LeftDir[kPathLength] = L"";
wchar_t RightDir[kPathLength] = L"";
wchar_t SaveDir[kPathLength] = L"";
wchar_t OptionsDir[kPathLength] = L"";

}  // namespace OptionSet
