// Synchronize Elements, Insert Element and Replace Element with: one tree changed from
// the element selected in the other, after the dispatch has checked both selections.
#pragma once

struct XMLTreeItem;

// Compares the element with the other tree's selection unless they are partners, then
// gives the element (down the path of differing content) its partner's content.
void synchronizeSelected(XMLTreeItem* element, XMLTreeItem* other);
// A copy of the other element's subtree after the element, under the same parent.
void insertSelected(XMLTreeItem* element, XMLTreeItem* other);
// The element's subtree replaced by a copy of the other's; the copy becomes the current element.
void replaceSelected(XMLTreeItem* element, XMLTreeItem* other);
// Moves one child of the target's parent from the target's name to the source's; false when
// refused. A target without a parent has nothing to move.
bool renameChildName(XMLTreeItem* target, XMLTreeItem* source);
