#include "model/ElementStore.h"

#include <memory>
#include <vector>

#include "model/XMLTreeItem.h"

namespace ElementStore {
DisplayClock displayClock;
}

namespace {

// Every message to a tree view goes through here, so that measurements can tell the
// display's own time from the program's.
LRESULT send(HWND tree, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!ElementStore::displayClock.enabled) return SendMessageW(tree, message, wParam, lParam);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    LRESULT result = SendMessageW(tree, message, wParam, lParam);
    QueryPerformanceCounter(&end);
    ElementStore::displayClock.ticks += end.QuadPart - start.QuadPart;
    return result;
}

constexpr uint32_t kNone = 0;  // index 0 is the root level of each tree

struct Node {
    HTREEITEM own;      // the store's handle: the display item's when it was made at insertion
    HTREEITEM display;  // the tree view's item, null until the element must be seen
    XMLTreeItem* data;
    uint32_t parent;
    uint32_t firstChild;
    uint32_t lastChild;
    uint32_t next;
    uint32_t previous;
    uint16_t lines;
    uint8_t expanded;
    uint8_t used;
    uint8_t childrenMade;  // every child has its display item
};

// Handles of elements that have no display item yet: odd numbers, which no item
// pointer of the tree view can be. They carry their node's index, so that a load's
// walks find their nodes without a search of the handle map, and a serial counted up
// for the whole run, so that a handle of a deleted element never comes back (the node
// that takes its index holds another handle).
uint64_t lastOwnSerial = 0;
HTREEITEM newOwnHandle(uint32_t index) {
    ++lastOwnSerial;
    return reinterpret_cast<HTREEITEM>(static_cast<uintptr_t>((lastOwnSerial << 33) | (uint64_t{index} << 1) | 1u));
}
bool isOwnHandle(HTREEITEM item) {
    return (reinterpret_cast<uintptr_t>(item) & 1u) != 0;
}
uint32_t ownHandleIndex(HTREEITEM item) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(item) >> 1);
}

// Open-addressing map from item handles to node indexes (linear probing with
// backward-shift deletion, so no tombstones accumulate across loads).
class HandleMap {
public:
    uint32_t find(HTREEITEM handle) const {
        if (keys_.empty() || handle == nullptr) return kNone;
        size_t mask = keys_.size() - 1;
        for (size_t i = slot(handle) & mask;; i = (i + 1) & mask) {
            if (keys_[i] == handle) return values_[i];
            if (keys_[i] == nullptr) return kNone;
        }
    }

    void insert(HTREEITEM handle, uint32_t index) {
        if ((count_ + 1) * 2 > keys_.size()) grow();
        size_t mask = keys_.size() - 1;
        size_t i = slot(handle) & mask;
        while (keys_[i] != nullptr && keys_[i] != handle) i = (i + 1) & mask;
        if (keys_[i] == nullptr) ++count_;
        keys_[i] = handle;
        values_[i] = index;
    }

    void erase(HTREEITEM handle) {
        if (keys_.empty()) return;
        size_t mask = keys_.size() - 1;
        size_t i = slot(handle) & mask;
        while (keys_[i] != handle) {
            if (keys_[i] == nullptr) return;
            i = (i + 1) & mask;
        }
        keys_[i] = nullptr;
        --count_;
        for (size_t j = (i + 1) & mask; keys_[j] != nullptr; j = (j + 1) & mask) {
            size_t home = slot(keys_[j]) & mask;
            // Move the entry back when its home slot lies cyclically outside (i, j].
            bool between = (i <= j) ? (home > i && home <= j) : (home > i || home <= j);
            if (!between) {
                keys_[i] = keys_[j];
                values_[i] = values_[j];
                keys_[j] = nullptr;
                i = j;
            }
        }
    }

    void clear() {
        keys_.assign(keys_.empty() ? 0 : 64, nullptr);
        values_.assign(keys_.size(), 0);
        count_ = 0;
    }

private:
    static size_t slot(HTREEITEM handle) {
        uint64_t x = reinterpret_cast<uintptr_t>(handle);
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        x ^= x >> 33;
        return static_cast<size_t>(x);
    }

    void grow() {
        std::vector<HTREEITEM> oldKeys;
        std::vector<uint32_t> oldValues;
        oldKeys.swap(keys_);
        oldValues.swap(values_);
        size_t size = oldKeys.empty() ? 64 : oldKeys.size() * 2;
        keys_.assign(size, nullptr);
        values_.assign(size, 0);
        count_ = 0;
        for (size_t i = 0; i < oldKeys.size(); ++i)
            if (oldKeys[i] != nullptr) insert(oldKeys[i], oldValues[i]);
    }

    std::vector<HTREEITEM> keys_;
    std::vector<uint32_t> values_;
    size_t count_ = 0;
};

class Store {
public:
    Store() {
        nodes_.push_back(Node{});
        nodes_[kNone].childrenMade = 1;  // the root level is always shown
    }

    HWND tree = nullptr;

    uint32_t indexOf(HTREEITEM item) const {
        if (item == nullptr || item == TVI_ROOT) return kNone;
        if (isOwnHandle(item)) {
            const uint32_t i = ownHandleIndex(item);
            return i < nodes_.size() && nodes_[i].own == item ? i : kNone;
        }
        return map_.find(item);
    }
    const Node& node(uint32_t i) const { return nodes_[i]; }
    Node& node(uint32_t i) { return nodes_[i]; }
    // The display item's handle once it exists, so that the records' handles and the
    // tree view's agree for every item that the tree view holds.
    HTREEITEM handleOf(uint32_t i) const {
        if (i == kNone) return nullptr;
        return nodes_[i].display != nullptr ? nodes_[i].display : nodes_[i].own;
    }
    size_t count() const { return map_size_; }
    size_t displayed = 0;
    const wchar_t* placeholder = nullptr;  // not owned
    size_t nodeCapacity() const { return nodes_.capacity(); }

    void setDisplay(uint32_t i, HTREEITEM display) {
        Node& n = nodes_[i];
        n.display = display;
        if (display != n.own) map_.insert(display, i);
        if (n.data != nullptr && n.data->treeItem == n.own) n.data->treeItem = display;
        ++displayed;
    }

    // handle: the display item made at insertion, or null for a handle of the store's.
    uint32_t add(HTREEITEM handle, XMLTreeItem* data, uint32_t parent, uint32_t after) {
        uint32_t i;
        if (!free_.empty()) {
            i = free_.back();
            free_.pop_back();
        } else {
            i = static_cast<uint32_t>(nodes_.size());
            // Large steps: a load adds hundreds of thousands of nodes one by one.
            if (nodes_.size() == nodes_.capacity()) nodes_.reserve(nodes_.size() + nodes_.size() / 2 + 4096);
            nodes_.push_back(Node{});
        }
        Node& n = nodes_[i];
        n = Node{};
        n.own = handle != nullptr ? handle : newOwnHandle(i);
        n.data = data;
        n.parent = parent;
        n.lines = 1;
        n.used = 1;
        Node& p = nodes_[parent];
        if (after == kNone) {  // first position
            n.next = p.firstChild;
            if (p.firstChild != kNone) nodes_[p.firstChild].previous = i;
            p.firstChild = i;
            if (p.lastChild == kNone) p.lastChild = i;
        } else {
            Node& a = nodes_[after];
            n.previous = after;
            n.next = a.next;
            if (a.next != kNone) nodes_[a.next].previous = i;
            a.next = i;
            if (p.lastChild == after) p.lastChild = i;
        }
        if (handle != nullptr) map_.insert(handle, i);
        ++map_size_;
        return i;
    }

    // Unlinks the node and drops its whole subtree from the arrays.
    void drop(uint32_t i) {
        Node& n = nodes_[i];
        Node& p = nodes_[n.parent];
        if (n.previous != kNone) nodes_[n.previous].next = n.next; else p.firstChild = n.next;
        if (n.next != kNone) nodes_[n.next].previous = n.previous; else p.lastChild = n.previous;
        std::vector<uint32_t> stack{i};
        while (!stack.empty()) {
            uint32_t k = stack.back();
            stack.pop_back();
            for (uint32_t c = nodes_[k].firstChild; c != kNone; c = nodes_[c].next) stack.push_back(c);
            if (!isOwnHandle(nodes_[k].own)) map_.erase(nodes_[k].own);
            if (nodes_[k].display != nullptr) {
                if (nodes_[k].display != nodes_[k].own) map_.erase(nodes_[k].display);
                --displayed;
            }
            --map_size_;
            nodes_[k] = Node{};
            free_.push_back(k);
        }
    }

    void clear() {
        nodes_.assign(1, Node{});
        nodes_[kNone].childrenMade = 1;
        free_.clear();
        map_.clear();
        map_size_ = 0;
        displayed = 0;
    }

private:
    std::vector<Node> nodes_;
    std::vector<uint32_t> free_;
    HandleMap map_;
    size_t map_size_ = 0;
};

std::vector<std::unique_ptr<Store>> stores;
Store* lastStore = nullptr;

Store* find(HWND tree) {
    if (tree == nullptr) return nullptr;
    if (lastStore != nullptr && lastStore->tree == tree) return lastStore;
    for (auto& s : stores)
        if (s->tree == tree) return lastStore = s.get();
    return nullptr;
}

Store* findOrCreate(HWND tree) {
    if (Store* s = find(tree)) return s;
    stores.push_back(std::make_unique<Store>());
    stores.back()->tree = tree;
    return lastStore = stores.back().get();
}


// The display item of a node as the tree view gets it: its record, its height, its
// button (before its children have items) and its expansion, all in the one insertion.
// Once the panel holds its document the placeholder text is given rather than asked
// for: Wine asks for a callback text on every layout pass, copies it into a buffer it
// reallocates and measures it again, which made expanding an element of 100,000
// children take minutes.
void describe(const Store& s, const Node& n, TVITEMEXW& item) {
    item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN | TVIF_INTEGRAL | TVIF_STATE;
    item.pszText = s.placeholder != nullptr ? const_cast<wchar_t*>(s.placeholder) : LPSTR_TEXTCALLBACKW;
    item.iImage = I_IMAGECALLBACK;
    item.iSelectedImage = I_IMAGECALLBACK;
    item.lParam = reinterpret_cast<LPARAM>(n.data);
    item.cChildren = n.firstChild != kNone ? 1 : 0;
    item.iIntegral = n.lines;
    item.state = n.expanded != 0 && n.childrenMade != 0 ? TVIS_EXPANDED : 0;
    item.stateMask = TVIS_EXPANDED;
}

void setButton(HWND tree, HTREEITEM display, bool hasChildren) {
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_CHILDREN;
    tv.hItem = display;
    tv.cChildren = hasChildren ? 1 : 0;
    send(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

// Sets the expanded state of a node's display item without a layout: the item lies
// under a collapsed ancestor, or the caller expands an ancestor afterwards.
bool showExpansion(Store& s, uint32_t i) {
    TVITEMEXW tv{};
    tv.mask = TVIF_HANDLE | TVIF_STATE;
    tv.hItem = s.node(i).display;
    const bool expanded = s.node(i).expanded != 0;
    tv.stateMask = expanded ? TVIS_EXPANDED | TVIS_EXPANDEDONCE : TVIS_EXPANDED;
    tv.state = expanded ? TVIS_EXPANDED | TVIS_EXPANDEDONCE : 0;
    return send(s.tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv)) != 0;
}

// Gives every child of p its display item, in order, appended under p while p is
// collapsed: the tree view then only links them, and lays them out once when p expands.
// A child marked expanded gets its own children the same way before it is shown
// expanded; the descent keeps its own stack, since a chain of marked elements is as deep
// as the document.
void makeChildren(Store& s, uint32_t p) {
    struct Level {
        uint32_t parent;
        uint32_t child;  // the next child to make
    };
    std::vector<Level> levels;
    auto open = [&](uint32_t i) {
        if (s.node(i).childrenMade) return false;
        if (i != kNone && s.node(i).display == nullptr) return false;
        s.node(i).childrenMade = 1;
        levels.push_back({i, s.node(i).firstChild});
        return true;
    };
    if (!open(p)) return;
    while (!levels.empty()) {
        const uint32_t c = levels.back().child;
        if (c == kNone) {
            const uint32_t done = levels.back().parent;
            levels.pop_back();
            // An element marked expanded while it had no item shows expanded once it has one.
            if (!levels.empty()) showExpansion(s, done);
            continue;
        }
        levels.back().child = s.node(c).next;
        if (s.node(c).display != nullptr) continue;
        const uint32_t parent = levels.back().parent;
        TVINSERTSTRUCTW insert{};
        insert.hParent = parent == kNone ? TVI_ROOT : s.node(parent).display;
        insert.hInsertAfter = TVI_LAST;
        describe(s, s.node(c), insert.itemex);
        auto display = reinterpret_cast<HTREEITEM>(send(s.tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
        if (display == nullptr) continue;
        s.setDisplay(c, display);
        if (s.node(c).expanded != 0 && s.node(c).firstChild != kNone && !open(c)) showExpansion(s, c);
    }
}

// Makes the display items that the node needs to exist: those of its ancestors'
// children, from the nearest shown ancestor down.
void makeShown(Store& s, uint32_t i) {
    if (i == kNone || s.node(i).display != nullptr) return;
    std::vector<uint32_t> chain;
    for (uint32_t k = i; k != kNone && s.node(k).display == nullptr; k = s.node(k).parent)
        chain.push_back(k);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        makeChildren(s, s.node(*it).parent);
}

// The tree view's handle for a handle of ours (either kind); null for an element
// without a display item, and the handle itself when the store does not know it.
HTREEITEM displayOf(HWND tree, HTREEITEM item, bool* known = nullptr) {
    Store* s = find(tree);
    uint32_t i = s == nullptr ? kNone : s->indexOf(item);
    if (known != nullptr) *known = i != kNone;
    return i == kNone ? item : s->node(i).display;
}

// Follows one link of the node of item; null for unknown items.
template <typename Link>
HTREEITEM step(HWND tree, HTREEITEM item, Link link) {
    Store* s = find(tree);
    if (s == nullptr) return nullptr;
    uint32_t i = s->indexOf(item);
    if (i == kNone && item != TVI_ROOT && item != nullptr) return nullptr;
    return s->handleOf(link(s->node(i)));
}

}  // namespace

namespace ElementStore {

HTREEITEM root(HWND tree) {
    Store* s = find(tree);
    return s == nullptr ? nullptr : s->handleOf(s->node(kNone).firstChild);
}

HTREEITEM child(HWND tree, HTREEITEM item) {
    if (item == nullptr) return nullptr;
    return step(tree, item, [](const Node& n) { return n.firstChild; });
}

HTREEITEM lastChild(HWND tree, HTREEITEM item) {
    if (item == nullptr) return nullptr;
    return step(tree, item, [](const Node& n) { return n.lastChild; });
}

HTREEITEM next(HWND tree, HTREEITEM item) {
    if (item == nullptr || item == TVI_ROOT) return nullptr;
    return step(tree, item, [](const Node& n) { return n.next; });
}

HTREEITEM previous(HWND tree, HTREEITEM item) {
    if (item == nullptr || item == TVI_ROOT) return nullptr;
    return step(tree, item, [](const Node& n) { return n.previous; });
}

HTREEITEM parent(HWND tree, HTREEITEM item) {
    if (item == nullptr || item == TVI_ROOT) return nullptr;
    return step(tree, item, [](const Node& n) { return n.parent; });
}

HTREEITEM selected(HWND tree) {
    if (tree == nullptr) return nullptr;
    // The caret query names no item, so the tree view answers it without a search.
    return reinterpret_cast<HTREEITEM>(send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

XMLTreeItem* record(HWND tree, HTREEITEM item) {
    Store* s = find(tree);
    if (s == nullptr || item == nullptr) return nullptr;
    uint32_t i = s->indexOf(item);
    return i == kNone ? nullptr : s->node(i).data;
}

HTREEITEM insert(HWND tree, HTREEITEM parentItem, HTREEITEM insertAfter, XMLTreeItem* data) {
    if (tree == nullptr) return nullptr;
    Store* s = findOrCreate(tree);
    if (parentItem == nullptr) parentItem = TVI_ROOT;
    uint32_t p = s->indexOf(parentItem);
    if (p == kNone && parentItem != TVI_ROOT) return nullptr;

    uint32_t after;
    if (insertAfter == TVI_FIRST) {
        after = kNone;
    } else if (insertAfter == TVI_LAST || insertAfter == nullptr || insertAfter == TVI_SORT) {
        insertAfter = TVI_LAST;
        after = s->node(p).lastChild;
    } else {
        after = s->indexOf(insertAfter);
        if (after == kNone || s->node(after).parent != p) return nullptr;
    }

    const bool hadChildren = s->node(p).firstChild != kNone;
    const HTREEITEM parentDisplay = p == kNone ? TVI_ROOT : s->node(p).display;
    if (parentDisplay == nullptr || !s->node(p).childrenMade) {
        // Not to be seen until the parent expands: the parent only gets its button.
        const HTREEITEM handle = s->node(s->add(nullptr, data, p, after)).own;
        if (!hadChildren && parentDisplay != nullptr) setButton(tree, parentDisplay, true);
        return handle;
    }
    TVINSERTSTRUCTW insert{};
    insert.hParent = parentDisplay;
    insert.hInsertAfter = insertAfter;
    if (insertAfter != TVI_FIRST && insertAfter != TVI_LAST) insert.hInsertAfter = s->node(after).display;
    if (insert.hInsertAfter == nullptr) return nullptr;
    Node shape{};
    shape.data = data;
    shape.lines = 1;
    describe(*s, shape, insert.itemex);
    auto handle = reinterpret_cast<HTREEITEM>(send(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (handle == nullptr) return nullptr;
    uint32_t i = s->add(handle, data, p, after);
    s->setDisplay(i, handle);
    return handle;
}

void setRecord(HWND tree, HTREEITEM item, XMLTreeItem* data) {
    Store* s = find(tree);
    if (s == nullptr) return;
    uint32_t i = s->indexOf(item);
    if (i == kNone) return;
    s->node(i).data = data;
    if (s->node(i).display == nullptr) return;
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_PARAM;
    tv.hItem = s->node(i).display;
    tv.lParam = reinterpret_cast<LPARAM>(data);
    send(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

void setHeight(HWND tree, HTREEITEM item, int lines) {
    Store* s = find(tree);
    if (s == nullptr) return;
    uint32_t i = s->indexOf(item);
    if (i == kNone) return;
    if (lines < 1) lines = 1;
    if (lines > 0x7FFF) lines = 0x7FFF;
    if (s->node(i).lines == lines) return;  // each message costs a search of the whole tree
    s->node(i).lines = static_cast<uint16_t>(lines);
    if (s->node(i).display == nullptr) return;  // given with the item when it is made
    TVITEMEXW tv{};
    tv.mask = TVIF_HANDLE | TVIF_INTEGRAL;
    tv.hItem = s->node(i).display;
    tv.iIntegral = lines;
    send(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

int height(HWND tree, HTREEITEM item) {
    Store* s = find(tree);
    if (s == nullptr) return 0;
    uint32_t i = s->indexOf(item);
    return i == kNone ? 0 : s->node(i).lines;
}

bool expand(HWND tree, HTREEITEM item, UINT code) {
    Store* s = find(tree);
    if (s == nullptr) return false;
    uint32_t i = s->indexOf(item);
    if (i == kNone) return false;
    const UINT action = code & 3;
    if (action == TVE_EXPAND || (action == TVE_TOGGLE && !s->node(i).expanded)) {
        makeShown(*s, i);
        makeChildren(*s, i);
    }
    const HTREEITEM display = s->node(i).display;
    BOOL done = display == nullptr ? FALSE
                                   : static_cast<BOOL>(send(tree, TVM_EXPAND, code, reinterpret_cast<LPARAM>(display)));
    Node& n = s->node(i);
    if (n.firstChild != kNone) {
        switch (action) {
        case TVE_EXPAND: n.expanded = 1; break;
        case TVE_COLLAPSE: n.expanded = 0; break;
        case TVE_TOGGLE: if (done) n.expanded = !n.expanded; break;
        default: break;
        }
    }
    return done != FALSE;
}

bool setExpandedState(HWND tree, HTREEITEM item, bool expanded) {
    Store* s = find(tree);
    if (s == nullptr) return false;
    uint32_t i = s->indexOf(item);
    if (i == kNone) return false;
    Node& n = s->node(i);
    if (n.firstChild == kNone) return false;
    n.expanded = expanded ? 1 : 0;
    if (n.display == nullptr) return true;  // applied when the item is made
    if (expanded) makeChildren(*s, i);
    return showExpansion(*s, i);
}

void itemExpanding(HWND tree, HTREEITEM item, UINT action) {
    Store* s = find(tree);
    if (s == nullptr) return;
    uint32_t i = s->indexOf(item);
    if (i == kNone) return;
    if ((action & 3) == TVE_EXPAND || ((action & 3) == TVE_TOGGLE && !s->node(i).expanded)) makeChildren(*s, i);
    if (s->node(i).firstChild == kNone) return;
    if ((action & 3) == TVE_EXPAND) s->node(i).expanded = 1;
    if ((action & 3) == TVE_COLLAPSE) s->node(i).expanded = 0;
}

bool isExpanded(HWND tree, HTREEITEM item) {
    Store* s = find(tree);
    if (s == nullptr) return false;
    uint32_t i = s->indexOf(item);
    return i != kNone && s->node(i).expanded != 0;
}

bool select(HWND tree, HTREEITEM item, UINT code) {
    if (tree == nullptr) return false;
    HTREEITEM target = item;
    if (Store* s = find(tree); s != nullptr && item != nullptr) {
        uint32_t i = s->indexOf(item);
        if (i != kNone) {
            makeShown(*s, i);
            target = s->node(i).display;
            if (target == nullptr) return false;
        }
    }
    const bool done = send(tree, TVM_SELECTITEM, code, reinterpret_cast<LPARAM>(target)) != 0;
    // Selecting an item expands its collapsed ancestors to show it.
    if (done && code == TVGN_CARET && item != nullptr) {
        if (Store* s = find(tree)) {
            for (uint32_t k = s->node(s->indexOf(item)).parent; k != kNone; k = s->node(k).parent)
                s->node(k).expanded = 1;
        }
    }
    return done;
}

bool itemRect(HWND tree, HTREEITEM item, bool textOnly, RECT* rect) {
    if (tree == nullptr || item == nullptr || rect == nullptr) return false;
    item = displayOf(tree, item);
    if (item == nullptr) return false;  // an element without a display item is not visible
    *reinterpret_cast<HTREEITEM*>(rect) = item;
    return send(tree, TVM_GETITEMRECT, textOnly ? TRUE : FALSE, reinterpret_cast<LPARAM>(rect)) != 0;
}

bool ensureVisible(HWND tree, HTREEITEM element) {
    if (tree == nullptr || element == nullptr) return false;
    const HTREEITEM item = displayOf(tree, element);
    if (item == nullptr) return false;
    // The tree view also scrolls sideways to the item's text, which hides the names of its
    // ancestors; the sideways position is put back when the text still starts in view there.
    const int before = GetScrollPos(tree, SB_HORZ);
    send(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    const int after = GetScrollPos(tree, SB_HORZ);
    RECT text{};
    RECT client{};
    if (after != before && itemRect(tree, element, true, &text) && GetClientRect(tree, &client)) {
        const int leftThen = text.left + (after - before);
        if (leftThen >= 0 && leftThen < client.right / 2)
            send(tree, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, before), 0);
    }
    return true;
}

bool remove(HWND tree, HTREEITEM item) {
    if (item == TVI_ROOT) {
        removeAll(tree);
        return true;
    }
    Store* s = find(tree);
    if (s == nullptr) return false;
    uint32_t i = s->indexOf(item);
    if (i == kNone) return false;
    const uint32_t p = s->node(i).parent;
    const HTREEITEM display = s->node(i).display;
    BOOL done = TRUE;
    if (display != nullptr) done = static_cast<BOOL>(send(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(display)));
    s->drop(i);
    // The tree view takes the button off a parent whose last item went; one whose
    // children never had items is told.
    const Node& parentNode = s->node(p);
    if (p != kNone && parentNode.firstChild == kNone && parentNode.display != nullptr && !parentNode.childrenMade)
        setButton(tree, parentNode.display, false);
    return done != FALSE;
}

void removeAll(HWND tree) {
    if (tree == nullptr) return;
    send(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    if (Store* s = find(tree)) s->clear();
}

size_t itemCount(HWND tree) {
    Store* s = find(tree);
    return s == nullptr ? 0 : s->count();
}

size_t displayItemCount(HWND tree) {
    Store* s = find(tree);
    return s == nullptr ? 0 : s->displayed;
}

HTREEITEM displayItem(HWND tree, HTREEITEM item) {
    bool known = false;
    HTREEITEM display = displayOf(tree, item, &known);
    return known ? display : nullptr;
}

void setPlaceholderText(HWND tree, const wchar_t* text) {
    if (tree == nullptr) return;
    findOrCreate(tree)->placeholder = text;
}

void detach(HWND tree) {
    for (auto it = stores.begin(); it != stores.end(); ++it) {
        if ((*it)->tree == tree) {
            if (lastStore == it->get()) lastStore = nullptr;
            stores.erase(it);
            return;
        }
    }
}

}  // namespace ElementStore
