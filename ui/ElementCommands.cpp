#include "ui/ElementCommands.h"

#include "model/XMLTreeItem.h"
#include "ui/TreeViews.h"

void synchronizeSelected(XMLTreeItem* element, XMLTreeItem* other) {
    if (element == nullptr || other == nullptr) return;
    if (element->partner != other) element->compareWith(other);
    // An ignored element is not paired: merging then would take the content of the
    // partner it had before, not of the element the user chose.
    if (element->partner != other) return;
    element->mergeFromPartner();
}

void insertSelected(XMLTreeItem* element, XMLTreeItem* other) {
    if (element == nullptr || other == nullptr) return;
    element->insertCopyAfter(*other);
}

void replaceSelected(XMLTreeItem* element, XMLTreeItem* other) {
    if (element == nullptr || other == nullptr) return;
    XMLTreeItem* copy = element->replaceWith(*other);  // element is freed here
    currentElement = copy;
    currentPartner = copy->partner;
}

bool renameChildName(XMLTreeItem* target, XMLTreeItem* source) {
    XMLTreeItem* up = target->parent();
    if (up == nullptr) return true;
    return up->renameChildName(target->nameId(), source->nameId()) != 0;
}
