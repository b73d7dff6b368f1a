#include "ui/SaveCommand.h"

#include <cwchar>
#include <string>

#include "model/MessageBox.h"
#include "model/ParseMessages.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/OptionSet.h"
#include "settings/XmlOutput.h"
#include "ui/ExternalPrograms.h"
#include "ui/FileDialogs.h"
#include "ui/TempFiles.h"
#include "ui/TreeViews.h"
#include "ui/XMLTreeView.h"

namespace {

constexpr wchar_t kWriteOperation[] = L"ProcessWtiteToFile";
constexpr wchar_t kExtension[] = L".xml";
constexpr size_t kExtensionUnits = 4;

bool fileExists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// The output file's name: a temporary one with "OpenAfterSave", else the user's. False
// (after its box) when there is none.
bool chooseOutputPath(HWND owner, wchar_t* path, bool* fromDialog) {
    *fromDialog = false;
    if (OptionSet::OpenAfterSave) {
        const wchar_t* temporary = makeTempFileName();
        if (temporary == nullptr || std::wcslen(temporary) >= kPathUnits) {
            showSystemError(kWriteOperation, nullptr, ERROR_CANNOT_MAKE);
            return false;
        }
        std::wcscpy(path, temporary);
        return true;
    }
    const wchar_t* chosen = showSaveDialog(owner, L"Save XML file", OptionSet::SaveDir, kXmlFilter);
    if (chosen == nullptr || chosen[0] == 0) {
        showBox(owner, L"You must specify a file!", L"Error", MB_ICONERROR);
        return false;
    }
    std::wcsncpy(path, chosen, kPathUnits - 1);
    path[kPathUnits - 1] = 0;
    *fromDialog = true;
    return true;
}

// Adds ".xml" to a name without any dot. The dialog asked about the name as typed, so an
// existing file of the extended name is asked about here; false when the user keeps it.
// A name that the extension would push past the buffer is kept as typed.
bool addExtension(HWND owner, wchar_t* path, bool fromDialog) {
    const size_t length = std::wcslen(path);
    if (std::wcschr(path, L'.') != nullptr || length + kExtensionUnits >= kPathUnits) return true;
    std::wcscpy(path + length, kExtension);
    if (!fromDialog || !fileExists(path)) return true;
    wchar_t question[kPathUnits + 64];
    std::swprintf(question, kPathUnits + 64, L"%ls already exists.\nDo you want to replace it?", path);
    return showBox(owner, question, L"Confirm", MB_YESNO | MB_ICONWARNING) == IDYES;
}

// The written file in the application of "ExternalApplication", or the one the shell
// associates with it. The path is quoted: the application takes blanks as separators.
void openWrittenFile(HWND owner, const wchar_t* path) {
    if (_wcsicmp(OptionSet::ExternalApplication, L"default") == 0) {
        shellOpen(owner, path, nullptr);
        return;
    }
    wchar_t quoted[kPathUnits + 2];
    std::swprintf(quoted, kPathUnits + 2, L"\"%ls\"", path);
    if (shellOpen(owner, OptionSet::ExternalApplication, quoted) <= 32)
        showBox(owner, L"Application not found", L"Open with external application", MB_ICONERROR);
}

// The box of a report that would hold nothing, saying why.
void showNothingToReport(HWND owner, const XMLTreeItem& element) {
    const wchar_t* why = element.ignoreState != 0     ? L"The element is ignored"
                         : element.partner == nullptr ? L"The element has no partner in the other file"
                                                      : L"The element and its partner are identical";
    const std::wstring message = std::wstring(why) + L": there is nothing to report.\nNo report was saved.";
    showBox(owner, message.c_str(), L"Save Report", MB_ICONINFORMATION);
}

// Whether the plan's output reads back as written; false after the box that says why not.
bool outputReadsBack(HWND owner, const OutputPlan& plan, const EncodingSpec& chosen) {
    if (plan.refusal == ERROR_SUCCESS) return true;
    const std::wstring where = L", such as UTF-8, under \"Use specific Encoding\" in the Options.";
    const std::wstring encoding = chosen.name;
    std::wstring message;
    if (plan.refusal == kUnreadableEncodingError) {
        message = L"A file in the encoding " + encoding +
                  L" cannot be read back by this program.\nNothing was saved. Choose another output encoding" + where;
    } else {
        const UnwritableName& found = plan.unwritable;
        const std::wstring path = found.element != nullptr ? found.element->pathText(1, nullptr, 0) : std::wstring();
        if (!found.doctype.empty())
            message = L"The DOCTYPE name \"" + found.doctype + L"\"";
        else if (!found.reference.empty())
            message = L"The entity reference \"&" + found.reference + L";\" in the element \"" + path + L"\"";
        else if (found.attribute.empty())
            message = L"The name of the element \"" + path + L"\"";
        else
            message = L"The attribute name \"" + found.attribute + L"\" of the element \"" + path + L"\"";
        message += L" cannot be written in the encoding " + encoding +
                   L".\nNothing was saved. Choose an output encoding that holds it" + where;
    }
    showBox(owner, message.c_str(), L"Error", MB_ICONERROR);
    return false;
}

}  // namespace

void onSaveCommand(HWND window, int command) {
    saveXmlOutput(window, command);
}

void saveXmlOutput(HWND owner, int command) {
    const XMLTreeItem* element = currentElement;
    XMLTreeView* panel = element != nullptr ? panelFromTree(element->treeView) : nullptr;
    if (element == nullptr || panel == nullptr) {
        showBox(owner, L"Select the element you want to save", L"Error", MB_ICONERROR);
        return;
    }
    const EncodingSpec& chosen = OptionSet::UseEncoding ? OptionSet::EncodingString : panel->outputEncoding;
    // Refused before the file is asked for: no name the user gives would change it.
    const DoctypeFields doctype{panel->doctypeName, panel->doctypePublicId, panel->doctypeSystemId};
    // The partner's DOCTYPE, for an output whose kept references come from its document.
    const XMLTreeView* partnerPanel = element->partner != nullptr ? panelFromTree(element->partner->treeView) : nullptr;
    const DoctypeFields partnerDoctype =
        partnerPanel != nullptr
            ? DoctypeFields{partnerPanel->doctypeName, partnerPanel->doctypePublicId, partnerPanel->doctypeSystemId}
            : DoctypeFields{};
    const OutputPlan plan = planXmlOutput(*element, command, chosen, doctype, partnerDoctype);
    if (plan.refusal == kNothingToReportError) {
        showNothingToReport(owner, *element);
        return;
    }
    if (!outputReadsBack(owner, plan, chosen)) return;
    wchar_t path[kPathUnits];
    bool fromDialog = false;
    if (!chooseOutputPath(owner, path, &fromDialog)) return;
    if (!addExtension(owner, path, fromDialog)) return;
    const DWORD error = writeXmlOutput(path, *element, command, plan);
    if (error != ERROR_SUCCESS) {
        showSystemError(kWriteOperation, path, static_cast<int>(error));
        return;
    }
    if (OptionSet::OpenAfterSave) openWrittenFile(owner, path);
}
