#include "settings/NamespaceOutput.h"

#include <algorithm>

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

}  // namespace

NamespaceOutput::NamespaceOutput() {
    currentOutput = this;
}

NamespaceOutput::~NamespaceOutput() {
    currentOutput = nullptr;
}

void NamespaceOutput::noteUses(const XMLTreeItem& element) {
    const int length = element.attributes != nullptr ? element.attributesLength : 0;
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

bool NamespaceOutput::resolveAt(size_t at, const std::wstring& prefix, std::wstring* uri) {
    Open& open = open_[at];
    for (const NamespaceBinding& known : open.resolved) {
        if (known.prefix == prefix) {
            *uri = known.uri;
            return true;
        }
    }
    const XMLTreeItem& element = *open.element;
    bool found = false;
    const int length = element.attributes != nullptr ? element.attributesLength : 0;
    for (const NamespaceBinding& own : declarationsIn(element.attributes, length)) {
        if (own.prefix == prefix) {
            *uri = own.uri;
            found = true;
        }
    }
    if (!found) {
        const bool inOwnParent =
            at > 0 && element.treeView != nullptr && open_[at - 1].element->treeView == element.treeView &&
            ElementStore::parent(element.treeView, element.treeItem) == open_[at - 1].element->treeItem;
        found = inOwnParent ? resolveAt(at - 1, prefix, uri) : resolvePrefix(element, prefix, uri);
    }
    if (found) open.resolved.push_back(NamespaceBinding{prefix, *uri});
    return found;
}

void NamespaceOutput::openElement(HANDLE file, const XMLTreeItem& element, const wchar_t* attributes, int length) {
    NamespaceOutput* output = currentOutput;
    if (output == nullptr) return;
    const bool top = output->open_.empty();
    output->open_.push_back(Open{&element, output->inForce_.size(), {}});
    const size_t at = output->open_.size() - 1;
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
