#include "ui/RuleCommands.h"

#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "model/MessageBox.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/CommandDispatch.h"
#include "ui/Commands.h"
#include "ui/CompareCommand.h"
#include "ui/TreeViews.h"
#include "ui/dialogs/IgnoreElementDialog.h"
#include "ui/dialogs/IgnoredElementsDialog.h"
#include "ui/dialogs/KeyAttributeDialog.h"

namespace {

// The commands whose changes may reach only a new parse announce it in reloadNeeded;
// the question follows once the command is done.
void runAnnouncingReload(HWND window, int command, void (*run)(HWND window, int command)) {
    reloadNeeded = false;
    run(window, command);
    if (reloadNeeded) reloadAfterChange(window, false);
}

void toggleIgnoreMark(XMLTreeItem* element, int command) {
    const uint8_t state = element->ignoreState;
    if (command == IDM_IGNORE_PARTICULAR) {
        if (state == 0)
            element->ignoreState = 3;
        else if (state >= 3)
            element->clearIgnoreMarks();
        return;
    }
    if (state == 0) {
        // A full list refuses the rule (after its box): the element stays as it was.
        if (ignoreList.addElement(*element, OptionSet::IgnoreElementsByFullName != 0) >= 0) element->ignoreState = 1;
    } else if (state <= 2) {
        ignoreList.removeElement(*element);
        element->clearIgnoreMarks();
    }
}

void runIgnoredElements(HWND window, int) {
    runIgnoredElementsDialog(window);
}

void runRemoveAll(HWND window, int) {
    removeAllIgnoredElements(window);
}

void runKeyAttribute(HWND window, int) {
    showKeyAttributeDialog(window);
}

}  // namespace

void ignoreElementCommand(HWND window, int command) {
    XMLTreeItem* element = currentElement;
    if (element == nullptr) return;
    if (OptionSet::DisplayConfirmation) {
        const uint8_t before = element->flags;
        if (runIgnoreElementDialog(window, 0) == IDOK) {
            // Named attributes shaped the attribute hashes of the load.
            if (((before | element->flags) & kNamedAttributesIgnoredFlag) != 0) reloadNeeded = true;
        } else {
            reloadNeeded = false;
        }
    } else {
        toggleIgnoreMark(element, command);
    }
    refreshSelectedItem();
}

void toggleKeyElement(int fullRefresh) {
    XMLTreeItem* element = currentElement;
    if (element == nullptr) return;
    XMLTreeItem* parent = element->parent();
    if (parent == nullptr) return;  // a top-level element keys nothing
    keyElementList.toggle(*element, parent);
    if (fullRefresh)
        refreshViews(0);
    else
        refreshSelectedItem();
}

void showKeyAttributeDialog(HWND window) {
    XMLTreeItem* element = currentElement;
    if (element == nullptr) return;
    const int32_t nameId = keyAttributeSpec.elementNameId;
    const int32_t pathHash = keyAttributeSpec.elementPathHash;
    const int32_t attributeHash = keyAttributeSpec.attributeHash;
    if (runKeyAttributeDialog(window, element) != IDOK) return;
    // The key attribute's hashes are computed while a document loads.
    reloadNeeded = keyAttributeSpec.elementNameId != nameId || keyAttributeSpec.elementPathHash != pathHash ||
                   keyAttributeSpec.attributeHash != attributeHash;
}

void toggleEntireElement() {
    if (currentElement == nullptr) return;
    entireElementList.toggle(*currentElement);
    refreshViews(6);
}

void removeAllIgnoredElements(HWND window) {
    if (ignoreList.count == 0 && ignoreList.commonAttributes.attributeCount == 0) return;
    if (showBox(window, L"Remove All elements from the list of ignored elements?", L"Confirm",
                MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // Common attributes shaped the attribute hashes of the load; rules with named
    // attributes announce themselves as they go.
    if (ignoreList.commonAttributes.attributeCount != 0) reloadNeeded = true;
    ignoreList.clear();
}

void onIgnoreElements(HWND window, int command) {
    runAnnouncingReload(window, command, ignoreElementCommand);
}

void onIgnoredElementsDialog(HWND window, int command) {
    runAnnouncingReload(window, command, runIgnoredElements);
}

void onRemoveAllIgnored(HWND window, int command) {
    runAnnouncingReload(window, command, runRemoveAll);
}

void onKeyElement(HWND, int command) {
    toggleKeyElement(command == IDM_KEY_ELEMENT ? 1 : 0);
}

void onKeyAttribute(HWND window, int command) {
    runAnnouncingReload(window, command, runKeyAttribute);
}

void onEntireElement(HWND, int) {
    toggleEntireElement();
}
