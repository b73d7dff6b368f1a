// Namespace bindings as an element's own document gives them. A record keeps its names
// qualified and its declarations ("xmlns", "xmlns:p") in its attribute text like any other
// attribute, so the binding of a prefix at an element is read from its own attribute text
// and then from its ancestors'. Nothing here is stored: results, copies and the comparison
// ask when they need it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/XMLTreeItem.h"

struct NamespaceBinding {
    std::wstring prefix;  // empty: the default namespace
    std::wstring uri;     // as the attribute text holds it (empty undeclares the default)
};

// The part of a qualified name after its prefix (the whole name without one).
const wchar_t* localPart(const wchar_t* name);
// The prefix of a qualified name of length units; empty without one.
std::wstring prefixOf(const wchar_t* name, int length);
// Whether the attribute name declares a namespace; *prefix (when given) then gets the
// declared prefix, empty for the default namespace.
bool isNamespaceDeclaration(const wchar_t* name, int length, std::wstring* prefix = nullptr);

// The name hash by which the comparison knows an attribute of count units: that of its
// local part under "IgnoreNamespaces", else of the whole name; folded for case while
// "XMLAttributeCaseSensitive" is off.
int32_t comparedAttributeNameHash(const wchar_t* name, int count);


// The declarations of an attribute text, in order.
std::vector<NamespaceBinding> declarationsIn(const wchar_t* text, int length);

// The prefixes whose bindings the element's name and the named attributes of the attribute
// text need: the name's prefix first (empty: the default namespace), then each attribute
// prefix once; declarations and the "xml" prefix need none.
std::vector<std::wstring> prefixesUsed(const XMLTreeItem& element, const wchar_t* text, int length);

// The namespace bound to prefix at the element in its own document: its own declaration,
// else its nearest ancestor's. False when nothing binds the prefix ("xml" is always bound;
// the default namespace unbound reads as bound to "").
bool resolvePrefix(const XMLTreeItem& element, const std::wstring& prefix, std::wstring* uri);

// After a copy of source was put into another tree (Insert Element, Replace Element with):
// the declarations that source's subtree used from source's ancestors and that the copy's
// new ancestors bind otherwise or not at all are added to the copy's attribute text, so that
// the copy's names keep their namespaces wherever the document goes. The comparison's
// hashes stay the source's: the copy holds the same names in the same namespaces.
void carryBindings(XMLTreeItem& copy, const XMLTreeItem& source);
// The same for the attributes alone, after element took source's attribute text
// (Synchronize Elements): element keeps its own name.
void carryAttributeBindings(XMLTreeItem& element, const XMLTreeItem& source);

