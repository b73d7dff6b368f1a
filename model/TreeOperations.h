// Operations on an element and its subtree: expanding, item heights, child-name
// bookkeeping, copying a subtree from the other document, merging a pair's content,
// and freeing or removing a subtree. They are members of XMLTreeItem (declared with
// it); every walk is iterative, so the depth of a document is limited only by memory.
#pragma once

struct XMLTreeItem;

// Called for each record that XMLTreeItem::deleteSubtree is about to free, once its
// tree item no longer points at it: the interface drops its own references to the
// record (the current element and partner, the navigators' targets). None by default.
using RecordReleaseHook = void (*)(const XMLTreeItem* record);
void setRecordReleaseHook(RecordReleaseHook hook);
