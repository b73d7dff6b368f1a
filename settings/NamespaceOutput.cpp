#include "settings/NamespaceOutput.h"

#include <algorithm>
#include <cwchar>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/XmlWriter.h"

namespace {

NamespaceOutput* currentOutput = nullptr;

bool holdsPrefix(const std::vector<NamespaceBinding>& bindings, const std::wstring& prefix) {
    return std::any_of(bindings.begin(), bindings.end(),
                       [&prefix](const NamespaceBinding& b) { return b.prefix == prefix; });
}

void writeDeclaration(HANDLE file, const XMLTreeItem& element, const NamespaceBinding& binding) {
    writeMarkup(file, L" xmlns");
    if (!binding.prefix.empty()) {
        writeMarkup(file, L":");
        writeText(file, binding.prefix.c_str(), static_cast<int>(binding.prefix.size()), &outputSpec());
    }
    writeMarkup(file, L"=\"");
    const int units = static_cast<int>(binding.uri.size());
    KeptReferenceLog::note(element, binding.uri.c_str(), units);
    writeEscaped(file, binding.uri.c_str(), units);
    writeMarkup(file, L"\"");
}

// Quick tests that let most elements of most documents pass without parsing their
// names: without a colon no name of theirs has a prefix, and without "xmlns" they declare
// nothing (a value may hold either, which only costs the full way).
bool holdsColon(const wchar_t* text, int length) {
    return text != nullptr && length > 0 && std::wmemchr(text, L':', static_cast<size_t>(length)) != nullptr;
}

bool holdsXmlns(const wchar_t* text, int length) {
    if (text == nullptr) return false;
    for (const wchar_t* at = text; length >= 5;) {
        const wchar_t* x = std::wmemchr(at, L'x', static_cast<size_t>(length - 4));
        if (x == nullptr) return false;
        if (std::wcsncmp(x, L"xmlns", 5) == 0) return true;
        length -= static_cast<int>(x + 1 - at);
        at = x + 1;
    }
    return false;
}

bool plainName(const XMLTreeItem& element) {
    return std::wcschr(element.nameText(), L':') == nullptr;
}

}  // namespace

NamespaceOutput::NamespaceOutput() {
    currentOutput = this;
}

NamespaceOutput::~NamespaceOutput() {
    currentOutput = nullptr;
}

void NamespaceOutput::noteUses(const XMLTreeItem& element) {
    const int length = element.attributes != nullptr ? element.attributesLength : 0;
    // Without a prefix anywhere the element uses the default namespace alone.
    if (plainName(element) && !holdsColon(element.attributes, length) && holdsPrefix(top_, std::wstring())) return;
    for (const std::wstring& prefix : prefixesUsed(element, element.attributes, length)) {
        if (holdsPrefix(top_, prefix)) continue;
        NamespaceBinding binding{prefix, std::wstring()};
        if (resolvePrefix(element, prefix, &binding.uri)) top_.push_back(std::move(binding));
    }
}

bool NamespaceOutput::bound(const std::wstring& prefix, std::wstring* uri) const {
    for (size_t i = inForce_.size(); i-- > 0;) {
        if (inForce_[i].prefix == prefix) {
            *uri = inForce_[i].uri;
            return true;
        }
    }
    uri->clear();
    return prefix.empty();  // no default namespace: names without a prefix are in none
}

bool NamespaceOutput::inOwnParent(size_t at) const {
    if (at == 0) return false;
    const XMLTreeItem& element = *open_[at].element;
    const XMLTreeItem& outer = *open_[at - 1].element;
    return element.treeView != nullptr && outer.treeView == element.treeView &&
           ElementStore::parent(element.treeView, element.treeItem) == outer.treeItem;
}

bool NamespaceOutput::resolveAt(size_t at, const std::wstring& prefix, std::wstring* uri) {
    // Down the open elements while each stands inside its own parent and neither knows nor
    // declares the prefix; a loop, since a deep document opens many thousands of them.
    bool found = false;
    for (size_t i = at;; --i) {
        const Open& open = open_[i];
        const auto known = std::find_if(open.resolved.begin(), open.resolved.end(),
                                        [&prefix](const NamespaceBinding& b) { return b.prefix == prefix; });
        if (known != open.resolved.end()) {
            *uri = known->uri;
            found = true;
            break;
        }
        const XMLTreeItem& element = *open.element;
        const int length = element.attributes != nullptr ? element.attributesLength : 0;
        if (holdsXmlns(element.attributes, length)) {
            for (const NamespaceBinding& own : declarationsIn(element.attributes, length)) {
                if (own.prefix == prefix) {
                    *uri = own.uri;
                    found = true;
                }
            }
            if (found) break;
        }
        if (!inOwnParent(i)) {
            found = resolvePrefix(element, prefix, uri);
            break;
        }
    }
    if (found) open_[at].resolved.push_back(NamespaceBinding{prefix, *uri});
    return found;
}

void NamespaceOutput::openElement(HANDLE file, const XMLTreeItem& element, const wchar_t* attributes, int length) {
    NamespaceOutput* output = currentOutput;
    if (output == nullptr) return;
    const bool top = output->open_.empty();
    output->open_.push_back(Open{&element, output->inForce_.size(), plainName(element), {}});
    const size_t at = output->open_.size() - 1;
    // An unprefixed element inside its own parent, whose default namespace the file keeps,
    // declaring nothing in its document and writing no prefixed attribute, needs nothing:
    // the file binds its default as its document does.
    const int ownLength = element.attributes != nullptr ? element.attributesLength : 0;
    if (!top && plainName(element) && !holdsColon(attributes, length) && !holdsXmlns(element.attributes, ownLength) &&
        output->open_[at - 1].defaultInSync && output->inOwnParent(at)) {
        return;
    }
    const std::vector<NamespaceBinding> own = declarationsIn(attributes, length);
    output->inForce_.insert(output->inForce_.end(), own.begin(), own.end());
    std::vector<NamespaceBinding> added;
    auto need = [&](const NamespaceBinding& wanted) {
        std::wstring current;
        if (output->bound(wanted.prefix, &current) && current == wanted.uri) return;
        // XML 1.0 cannot take a prefix back: a name whose document leaves its prefix
        // unbound has no namespace to keep.
        if (!wanted.prefix.empty() && wanted.uri.empty()) return;
        added.push_back(wanted);
        output->inForce_.push_back(wanted);
    };
    // The element's own names first: what they need wins over what the top declares for
    // the rest of the file.
    for (const std::wstring& prefix : prefixesUsed(element, attributes, length)) {
        NamespaceBinding wanted{prefix, std::wstring()};
        if (output->resolveAt(at, prefix, &wanted.uri)) need(wanted);
    }
    if (top) {
        for (const NamespaceBinding& noted : output->top_) {
            if (!holdsPrefix(own, noted.prefix) && !holdsPrefix(added, noted.prefix)) need(noted);
        }
    }
    for (const NamespaceBinding& binding : added)
        writeDeclaration(file, element, binding);
}

void NamespaceOutput::closeElement() {
    NamespaceOutput* output = currentOutput;
    if (output == nullptr || output->open_.empty()) return;
    output->inForce_.resize(output->open_.back().inForceMark);
    output->open_.pop_back();
}
