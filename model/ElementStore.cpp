#include "model/ElementStore.h"

#include <memory>
#include <vector>

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
    HTREEITEM handle;
    XMLTreeItem* data;
    uint32_t parent;
    uint32_t firstChild;
    uint32_t lastChild;
    uint32_t next;
    uint32_t previous;
    uint16_t lines;
    uint8_t expanded;
    uint8_t used;
};

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
    Store() { nodes_.push_back(Node{}); }

    HWND tree = nullptr;

    uint32_t indexOf(HTREEITEM item) const {
        if (item == nullptr || item == TVI_ROOT) return kNone;
        return map_.find(item);
    }
    const Node& node(uint32_t i) const { return nodes_[i]; }
    Node& node(uint32_t i) { return nodes_[i]; }
    HTREEITEM handleOf(uint32_t i) const { return i == kNone ? nullptr : nodes_[i].handle; }
    size_t count() const { return map_size_; }

    uint32_t add(HTREEITEM handle, XMLTreeItem* data, uint32_t parent, uint32_t after) {
        uint32_t i;
        if (!free_.empty()) {
            i = free_.back();
            free_.pop_back();
        } else {
            i = static_cast<uint32_t>(nodes_.size());
            nodes_.push_back(Node{});
        }
        Node& n = nodes_[i];
        n = Node{};
        n.handle = handle;
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
        map_.insert(handle, i);
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
            map_.erase(nodes_[k].handle);
            --map_size_;
            nodes_[k] = Node{};
            free_.push_back(k);
        }
    }

    void clear() {
        nodes_.assign(1, Node{});
        free_.clear();
        map_.clear();
        map_size_ = 0;
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

    TVINSERTSTRUCTW insert{};
    insert.hParent = parentItem;
    insert.hInsertAfter = insertAfter;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = LPSTR_TEXTCALLBACKW;
    insert.item.iImage = I_IMAGECALLBACK;
    insert.item.iSelectedImage = I_IMAGECALLBACK;
    insert.item.lParam = reinterpret_cast<LPARAM>(data);
    auto handle = reinterpret_cast<HTREEITEM>(send(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (handle == nullptr) return nullptr;
    s->add(handle, data, p, after);
    return handle;
}

void setRecord(HWND tree, HTREEITEM item, XMLTreeItem* data) {
    Store* s = find(tree);
    if (s == nullptr) return;
    uint32_t i = s->indexOf(item);
    if (i == kNone) return;
    s->node(i).data = data;
    TVITEMW tv{};
    tv.mask = TVIF_HANDLE | TVIF_PARAM;
    tv.hItem = item;
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
    TVITEMEXW tv{};
    tv.mask = TVIF_HANDLE | TVIF_INTEGRAL;
    tv.hItem = item;
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
    Node& n = s->node(i);
    BOOL done = static_cast<BOOL>(send(tree, TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
    if (n.firstChild != kNone) {
        switch (code & 3) {
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
    TVITEMEXW tv{};
    tv.mask = TVIF_HANDLE | TVIF_STATE;
    tv.hItem = item;
    tv.stateMask = expanded ? TVIS_EXPANDED | TVIS_EXPANDEDONCE : TVIS_EXPANDED;
    tv.state = expanded ? TVIS_EXPANDED | TVIS_EXPANDEDONCE : 0;
    if (!send(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return false;
    n.expanded = expanded ? 1 : 0;
    return true;
}

bool isExpanded(HWND tree, HTREEITEM item) {
    Store* s = find(tree);
    if (s == nullptr) return false;
    uint32_t i = s->indexOf(item);
    return i != kNone && s->node(i).expanded != 0;
}

bool select(HWND tree, HTREEITEM item, UINT code) {
    if (tree == nullptr) return false;
    return send(tree, TVM_SELECTITEM, code, reinterpret_cast<LPARAM>(item)) != 0;
}

bool itemRect(HWND tree, HTREEITEM item, bool textOnly, RECT* rect) {
    if (tree == nullptr || item == nullptr || rect == nullptr) return false;
    *reinterpret_cast<HTREEITEM*>(rect) = item;
    return send(tree, TVM_GETITEMRECT, textOnly ? TRUE : FALSE, reinterpret_cast<LPARAM>(rect)) != 0;
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
    BOOL done = static_cast<BOOL>(send(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
    s->drop(i);
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
