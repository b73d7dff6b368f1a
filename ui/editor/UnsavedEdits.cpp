#include "ui/editor/UnsavedEdits.h"

#include <richedit.h>

#include <cwchar>
#include <iterator>
#include <vector>

#include "model/MessageBox.h"
#include "ui/MainWindow.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/ContentWindow.h"
#include "ui/editor/EditorFile.h"

namespace {

enum class Reply { kUnmodified, kSaved, kLetGo, kKeep };

void setEditorModified(XMLTreeView& panel, bool modified) {
    panel.editorModified = modified ? 1 : 0;
    SendMessageW(panel.editor, EM_SETMODIFY, modified ? TRUE : FALSE, 0);
    if (panel.pathButton != nullptr) InvalidateRect(panel.pathButton, nullptr, FALSE);
    enableSaveButton();
}

Reply askAboutEditor(XMLTreeView& panel, wchar_t* written) {
    if (panel.editor == nullptr) return Reply::kUnmodified;
    // A change that no key release has reported yet counts as well.
    markEditorModified(panel);
    if (!panel.editorModified) return Reply::kUnmodified;
    wchar_t text[kPathUnits + 32];
    std::swprintf(text, std::size(text), L"Save changes to %ls?", panel.fileName);
    switch (showBox(mainWindow, text, L"Verdalt", MB_YESNOCANCEL | MB_ICONWARNING)) {
        case IDYES:
            // A failed save has told why in its own box; the text stays for another try.
            return writeEditorText(panel, nullptr, written) ? Reply::kSaved : Reply::kKeep;
        case IDNO:
            return Reply::kLetGo;
        default:
            return Reply::kKeep;
    }
}

}  // namespace

bool confirmDiscardEditors(XMLTreeView* const* panels, int count, wchar_t (*written)[kPathUnits]) {
    std::vector<XMLTreeView*> letGo;
    for (int i = 0; written != nullptr && i < count; ++i)
        written[i][0] = 0;
    for (int i = 0; i < count; ++i) {
        const Reply reply = askAboutEditor(*panels[i], written != nullptr ? written[i] : nullptr);
        if (reply == Reply::kKeep) return false;
        if (reply == Reply::kLetGo) letGo.push_back(panels[i]);
    }
    // Answered for: the load that follows asks no more, and should it fail, nothing keeps
    // the text that was let go.
    for (XMLTreeView* panel : letGo) {
        setEditorModified(*panel, false);
        panel->editorTextLetGo = 1;
    }
    return true;
}

bool confirmDiscardEditor(XMLTreeView& panel) {
    XMLTreeView* panels[] = {&panel};
    return confirmDiscardEditors(panels, 1);
}

bool confirmDiscardEditors() {
    XMLTreeView* panels[] = {&leftTreeView, &rightTreeView};
    return confirmDiscardEditors(panels, 2);
}

bool keepEditorText(XMLTreeView& panel) {
    if (panel.editor == nullptr) return false;
    if (panel.editorTextLetGo) {
        // The edits the user let go are in no file: the editor is made anew, empty (Wine's
        // rich edit empties a large text far more slowly than it makes a new editor),
        // under no name, so that nothing of them can be saved.
        panel.fileName[0] = 0;
        prepareEditor(panel, nullptr);
        layoutPathButtons(true);
        enableSaveButton();
        return false;
    }
    if (panel.fileName[0] == 0 || panel.editorLoadFailed) return false;
    updatePathCaption(panel);
    layoutPathButtons(true);
    enableSaveButton();
    return true;
}
