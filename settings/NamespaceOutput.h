// The namespaces in force in a result file while the writers walk it. Each start tag
// declares what its names need, bound as their own document binds them, whenever the file
// does not bind it so already: a part saved without its ancestors, the partner's elements
// in a merge and copies from the other document all read back in their namespaces. The
// top element also declares each namespace noted before the walk.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "model/NamespaceScope.h"

struct XMLTreeItem;

// One result at a time; while none is alive, the writers declare nothing of their own.
class NamespaceOutput {
public:
    NamespaceOutput();
    ~NamespaceOutput();
    NamespaceOutput(const NamespaceOutput&) = delete;
    NamespaceOutput& operator=(const NamespaceOutput&) = delete;

    // Before the walk: the bindings the element's names use in its own document. The first
    // noted for a prefix is declared on the top element.
    void noteUses(const XMLTreeItem& element);

    // After "<" and the element's name, before the attribute text written with it (length
    // units; it may hold only some of the element's attributes): writes the declarations
    // that the element's name and those attributes need beyond the text's own, and opens
    // the element's scope.
    static void openElement(HANDLE file, const XMLTreeItem& element, const wchar_t* attributes, int length);
    // At the element's end tag or "/>".
    static void closeElement();

private:
    // An element open in the file, with the bindings its own document gives it, as far as
    // they were asked for: a child written inside its own parent takes them from here
    // instead of climbing its whole ancestry again.
    struct Open {
        const XMLTreeItem* element;
        size_t inForceMark;  // inForce_'s size when the element began
        bool defaultInSync;  // the file's default namespace here is the element's own
        std::vector<NamespaceBinding> resolved;
    };

    // Whether the element at open_[at] stands inside its own parent in the file.
    bool inOwnParent(size_t at) const;

    // The binding of prefix in force in the file; false when nothing binds it.
    bool bound(const std::wstring& prefix, std::wstring* uri) const;
    // The binding of prefix at open element at in the element's own document.
    bool resolveAt(size_t at, const std::wstring& prefix, std::wstring* uri);

    std::vector<NamespaceBinding> top_;
    std::vector<NamespaceBinding> inForce_;  // declarations written, innermost last
    std::vector<Open> open_;
};
