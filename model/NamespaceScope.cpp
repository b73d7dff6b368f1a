#include "model/NamespaceScope.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "model/ElementStore.h"
#include "model/TextServices.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/XMLTreeView.h"

namespace {

constexpr wchar_t kXmlns[] = L"xmlns";
constexpr int kXmlnsUnits = 5;

bool namesXmlPrefix(const std::wstring& prefix) {
    return prefix == L"xml";
}

// The binding the attribute text declares for prefix, when it declares one.
bool declaredIn(const wchar_t* text, int length, const std::wstring& prefix, std::wstring* uri) {
    bool found = false;
    forEachAttributeIn(text, length, [&](const wchar_t* name, int nameLength, const wchar_t* value, int valueLength) {
        std::wstring declared;
        if (found || !isNamespaceDeclaration(name, nameLength, &declared) || declared != prefix) return;
        uri->assign(value, static_cast<size_t>(valueLength));
        found = true;
    });
    return found;
}

template <typename Visit>
void forEachInSubtree(const XMLTreeItem& top, Visit visit) {
    const HWND tree = top.treeView;
    std::vector<const XMLTreeItem*> stack{&top};
    while (!stack.empty()) {
        const XMLTreeItem* e = stack.back();
        stack.pop_back();
        visit(*e);
        if (tree == nullptr || e->treeItem == nullptr) continue;
        for (HTREEITEM c = ElementStore::child(tree, e->treeItem); c != nullptr; c = ElementStore::next(tree, c))
            if (const XMLTreeItem* k = ElementStore::record(tree, c)) stack.push_back(k);
    }
}

}  // namespace

const wchar_t* localPart(const wchar_t* name) {
    if (name == nullptr) return L"";
    const wchar_t* colon = std::wcschr(name, L':');
    return colon != nullptr && colon[1] != 0 ? colon + 1 : name;
}

int32_t comparedAttributeNameHash(const wchar_t* name, int count) {
    if (OptionSet::IgnoreNamespaces) {
        for (int i = 0; i + 1 < count; ++i) {
            if (name[i] == L':') {
                name += i + 1;
                count -= i + 1;
                break;
            }
        }
    }
    return static_cast<int32_t>(hashNameN(name, count, OptionSet::XMLAttributeCaseSensitive));
}

std::wstring prefixOf(const wchar_t* name, int length) {
    for (int i = 0; i + 1 < length; ++i) {
        if (name[i] == L':') return std::wstring(name, static_cast<size_t>(i));
    }
    return std::wstring();
}

bool isNamespaceDeclaration(const wchar_t* name, int length, std::wstring* prefix) {
    if (length < kXmlnsUnits || std::wcsncmp(name, kXmlns, kXmlnsUnits) != 0) return false;
    if (length == kXmlnsUnits) {
        if (prefix != nullptr) prefix->clear();
        return true;
    }
    if (name[kXmlnsUnits] != L':' || length == kXmlnsUnits + 1) return false;
    if (prefix != nullptr) prefix->assign(name + kXmlnsUnits + 1, static_cast<size_t>(length - kXmlnsUnits - 1));
    return true;
}

std::vector<NamespaceBinding> declarationsIn(const wchar_t* text, int length) {
    std::vector<NamespaceBinding> bindings;
    forEachAttributeIn(text, length, [&](const wchar_t* name, int nameLength, const wchar_t* value, int valueLength) {
        NamespaceBinding binding;
        if (!isNamespaceDeclaration(name, nameLength, &binding.prefix)) return;
        binding.uri.assign(value, static_cast<size_t>(valueLength));
        bindings.push_back(std::move(binding));
    });
    return bindings;
}

std::vector<std::wstring> prefixesUsed(const XMLTreeItem& element, const wchar_t* text, int length) {
    const wchar_t* name = element.nameText();
    std::vector<std::wstring> prefixes{prefixOf(name, static_cast<int>(std::wcslen(name)))};
    forEachAttributeIn(text, length, [&](const wchar_t* attribute, int nameLength, const wchar_t*, int) {
        if (isNamespaceDeclaration(attribute, nameLength)) return;
        std::wstring prefix = prefixOf(attribute, nameLength);
        // An unprefixed attribute is in no namespace, whatever the default.
        if (prefix.empty() || namesXmlPrefix(prefix)) return;
        if (std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end()) prefixes.push_back(prefix);
    });
    if (namesXmlPrefix(prefixes[0])) prefixes.erase(prefixes.begin());
    return prefixes;
}

bool resolvePrefix(const XMLTreeItem& element, const std::wstring& prefix, std::wstring* uri) {
    if (namesXmlPrefix(prefix)) {
        *uri = L"http://www.w3.org/XML/1998/namespace";
        return true;
    }
    const HWND tree = element.treeView;
    for (const XMLTreeItem* at = &element; at != nullptr;) {
        if (declaredIn(at->attributes, at->attributes != nullptr ? at->attributesLength : 0, prefix, uri)) return true;
        const HTREEITEM up =
            tree != nullptr && at->treeItem != nullptr ? ElementStore::parent(tree, at->treeItem) : nullptr;
        at = up != nullptr ? ElementStore::record(tree, up) : nullptr;
    }
    uri->clear();
    return prefix.empty();
}

namespace {

// Adds to element's attribute text a declaration for each prefix that source binds and
// element, where it stands, binds otherwise or not at all.
void declareWhatDiffers(XMLTreeItem& element, const XMLTreeItem& source, const std::vector<std::wstring>& prefixes) {
    std::wstring added;
    for (const std::wstring& prefix : prefixes) {
        std::wstring wanted;
        std::wstring found;
        // A prefix that only a descendant binds is declared by that descendant itself.
        if (!resolvePrefix(source, prefix, &wanted)) continue;
        if (resolvePrefix(element, prefix, &found) && found == wanted) continue;
        if (!added.empty() || element.attributesLength != 0) added += L' ';
        added += kXmlns;
        if (!prefix.empty()) added += L':' + prefix;
        added += L'=';
        added += kAttributeOpenQuote;
        added += wanted;
        added += kAttributeCloseQuote;
    }
    XMLTreeView* panel = panelFromTree(element.treeView);
    const size_t own = element.attributes != nullptr ? element.attributesLength : 0;
    if (added.empty() || panel == nullptr || own + added.size() > kMaxTextUnits) return;
    wchar_t* joined = panel->stringPool.allocText(static_cast<uint32_t>(own + added.size() + 1));
    if (joined == nullptr) return;
    if (own != 0) std::memcpy(joined, element.attributes, own * sizeof(wchar_t));
    std::memcpy(joined + own, added.data(), added.size() * sizeof(wchar_t));
    joined[own + added.size()] = 0;
    element.attributes = joined;
    element.attributesLength = static_cast<uint16_t>(own + added.size());
}

}  // namespace

void carryBindings(XMLTreeItem& copy, const XMLTreeItem& source) {
    std::vector<std::wstring> prefixes;
    forEachInSubtree(source, [&](const XMLTreeItem& e) {
        for (std::wstring& prefix : prefixesUsed(e, e.attributes, e.attributes != nullptr ? e.attributesLength : 0)) {
            if (std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end())
                prefixes.push_back(std::move(prefix));
        }
    });
    declareWhatDiffers(copy, source, prefixes);
}

void carryAttributeBindings(XMLTreeItem& element, const XMLTreeItem& source) {
    // Not the name's prefix: element keeps its own name.
    std::vector<std::wstring> prefixes;
    const int length = source.attributes != nullptr ? source.attributesLength : 0;
    forEachAttributeIn(source.attributes, length, [&](const wchar_t* name, int nameLength, const wchar_t*, int) {
        std::wstring prefix = prefixOf(name, nameLength);
        if (prefix.empty() || namesXmlPrefix(prefix) || isNamespaceDeclaration(name, nameLength)) return;
        if (std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end()) prefixes.push_back(prefix);
    });
    declareWhatDiffers(element, source, prefixes);
}
