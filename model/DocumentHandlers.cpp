#include "model/DocumentHandlers.h"

#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <iterator>

#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "model/ElementStore.h"
#include "model/MessageBox.h"
#include "model/NameDictionary.h"
#include "model/NamespaceScope.h"
#include "model/ParseMessages.h"
#include "model/ParserSetup.h"
#include "model/TextServices.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/OptionSet.h"
#include "ui/XMLTreeView.h"

SAX2CountHandlers countHandlers;
AdvancedHandler advancedHandler;

namespace {
// Copies source into a buffer of units, cut so that it stays terminated.
void copyCut(wchar_t* buffer, size_t units, const XMLCh* source) {
    size_t length = source == nullptr ? 0 : std::wcslen(source);
    if (length > units - 1) length = units - 1;
    if (length != 0) std::wmemcpy(buffer, source, length);
    buffer[length] = 0;
}
}  // namespace

void SAX2CountHandlers::markSource() {
    XMLFilePos offset = 0;
    const bool known = readerSourceOffset(xmlReader, offset);
    entityOutput.markSource(known, offset);
}

bool SAX2CountHandlers::stopRequested() const {
    return (fatalSeen && !OptionSet::ContinueAfterFatalError) || cancelled || refused;
}

void SAX2CountHandlers::refreshPosition() {
    markSource();
    if (locator == nullptr) return;
    line = static_cast<int>(locator->getLineNumber());
    column = static_cast<int>(locator->getColumnNumber());
}

XMLTreeItem* SAX2CountHandlers::flushText() {
    if (currentItem == nullptr || panel == nullptr || panel->tree == nullptr) return nullptr;
    XMLTreeItem* record = XMLTreeItem::fromHandle(panel->tree, currentItem);
    if (record == nullptr) return nullptr;
    if (textBuffer[0] != 0) {
        // Each run of text between two tags is trimmed. Where that takes the white space
        // from between two runs, one blank joins them, so that "in the <a>x</a> module"
        // keeps its words apart; "the<a/>module" had none and gets none.
        wchar_t* start = textBuffer;
        const wchar_t* const end = textEnd;
        const int length = trimBlanks(start);
        bool pending = !blankPending_.empty() && blankPending_.back();
        const size_t from = placesStart_.empty() ? places_.size() : placesStart_.back();
        const size_t waiting = places_.size() - from;
        // The marks go in only with the whole run after them: children whose places do not
        // fit in the text's bound with it follow the text, as after its last run, and the
        // run is joined as any other (and cut there).
        const bool leadingBlank = waiting != 0 && start != textBuffer && places_.back() != L' ';
        const bool placesFit =
            waiting != 0 &&
            record->textLength + waiting + (leadingBlank ? 1 : 0) + static_cast<size_t>(length) <= kMaxTextUnits;
        if (waiting != 0 && !placesFit) {
            // White space among those children still joins the runs with a blank.
            if (places_.find(L' ', from) != std::wstring::npos) pending = true;
            places_.resize(from);
        }
        if (length > 0 && placesFit) {
            // A run after children: their marks and the white space around them go first.
            if (leadingBlank) places_ += L' ';
            places_.append(start, static_cast<size_t>(length));
            if (!record->appendText(places_.data() + from, static_cast<uint32_t>(places_.size() - from), panel))
                noteCutText(*record);
            places_.resize(from);
            pending = start + length != end;
        } else if (length > 0) {
            if (!record->appendText(start, static_cast<uint32_t>(length), panel, pending || start != textBuffer))
                noteCutText(*record);
            pending = start + length != end;
        } else {
            pending = true;
        }
        if (!blankPending_.empty()) blankPending_.back() = pending;
    }
    return record;
}

void SAX2CountHandlers::notePlaceOfChild(const XMLTreeItem& parent) {
    if (placesStart_.empty() || blankPending_.empty()) return;
    const size_t from = placesStart_.back();
    const bool none = places_.size() == from;
    // White space since the last run or child is one blank; before the first run none is needed.
    if (blankPending_.back() && (parent.textLength != 0 || !none) && (none || places_.back() != L' ')) places_ += L' ';
    blankPending_.back() = false;
    // The marks stop at the text bound: a run after them could not be kept either.
    if (parent.textLength + (places_.size() - from) < kMaxTextUnits) places_ += kChildMark;
}

void SAX2CountHandlers::setLogPath(const wchar_t* path) {
    closeLog();
    logPath[0] = 0;
    if (!OptionSet::LogErrorMessages || path == nullptr) return;
    static constexpr wchar_t kLogExtension[] = L".log";
    constexpr size_t kLogPathUnits = sizeof(logPath) / sizeof(logPath[0]);
    size_t length = std::wcslen(path);
    if (length + std::wcslen(kLogExtension) >= kLogPathUnits) return;
    std::wmemcpy(logPath, path, length);
    std::wcscpy(logPath + length, kLogExtension);
}

void SAX2CountHandlers::closeLog() {
    if (logFile != nullptr && logFile != INVALID_HANDLE_VALUE) CloseHandle(logFile);
    logFile = nullptr;
}

void DTDRestart::clear() {
    requested_.clear();
    document_.clear();
    skipped_ = false;
    running_ = false;
    inProlog_ = true;
    reports_.clear();
}

void DTDRestart::setDocument(const XMLCh* documentId) {
    document_ = documentId != nullptr ? documentId : L"";
}

void DTDRestart::expectDTD(const XMLCh* systemId) {
    requested_ = systemId != nullptr ? systemId : L"";
}

bool DTDRestart::takeRequest(const XMLCh* systemId) {
    if (requested_.empty() || systemId == nullptr || requested_ != systemId) return false;
    requested_.clear();
    return true;
}

void DTDRestart::begin() {
    running_ = true;
}

void DTDRestart::end() {
    running_ = false;
    requested_.clear();
}

bool DTDRestart::isRepeat(Kind kind, const xercesc::SAXParseException& exc) {
    const XMLCh* systemId = exc.getSystemId();
    if (systemId == nullptr || document_.empty() || document_ != systemId) return false;
    const XMLCh* message = exc.getMessage() != nullptr ? exc.getMessage() : L"";
    if (!running_) {
        if (inProlog_ && reports_.size() < kMostReports)
            reports_.push_back({kind, exc.getLineNumber(), exc.getColumnNumber(), message, false});
        return false;
    }
    for (Report& report : reports_) {
        if (report.used || report.kind != kind || report.line != exc.getLineNumber() ||
            report.column != exc.getColumnNumber() || report.message != message)
            continue;
        report.used = true;
        return true;
    }
    return false;
}

void DTDNote::clear() {
    doctype_.clear();
    dtd_.clear();
    reason_.clear();
    text_.clear();
    leftOut_ = false;
    written_ = false;
    kept_ = 0;
    line_ = 0;
    column_ = 0;
}

void DTDNote::setDoctype(const XMLCh* systemId, XMLFileLoc line, XMLFileLoc column) {
    doctype_ = systemId != nullptr ? systemId : L"";
    if (leftOut_) return;
    line_ = line;
    column_ = column;
}

void DTDNote::leaveOut(const std::wstring& reason, XMLFileLoc line, XMLFileLoc column) {
    leftOut_ = true;
    dtd_ = doctype_;
    reason_ = reason;
    line_ = line;
    column_ = column;
}

bool DTDNote::keepingReferences() const {
    return xmlReader != nullptr && xmlReader->getFeature(xercesc::XMLUni::fgXercesKeepUndeclaredEntityReferences);
}

void DTDNote::discard() {
    written_ = true;
    text_.clear();
}

void DTDNote::countKept(const XMLCh* units, XMLSize_t count) {
    if (units == nullptr) return;
    for (XMLSize_t i = 0; i < count; ++i)
        if (isKeptReferenceMark(i == 0 ? 0 : units[i - 1], units[i])) ++kept_;
}

bool DTDNote::write(bool validationNever) {
    if (written_) return false;
    written_ = true;
    if (!leftOut_ && validationNever && kept_ != 0) {
        // Never does not look for the DTD: the note says so only where it changed the texts.
        leftOut_ = true;
        dtd_ = doctype_;
        reason_ = L"\"SchemaValidation\" is Never";
    }
    if (!leftOut_) return false;
    // The reason and the count first: a status bar shows the start of a long URL only.
    wchar_t text[1024];
    const wchar_t* named = dtd_.empty() ? L"" : L": ";
    if (kept_ == 0) {
        std::swprintf(text, std::size(text), L"Loaded without the external DTD (%ls)%ls%ls", reason_.c_str(), named,
                      dtd_.c_str());
    } else {
        std::swprintf(text, std::size(text),
                      L"Loaded without the external DTD, %u entity %ls kept as written (%ls)%ls%ls", kept_,
                      kept_ == 1 ? L"reference" : L"references", reason_.c_str(), named, dtd_.c_str());
    }
    text_ = text;
    return true;
}

xercesc::InputSource* SAX2CountHandlers::resolveEntity(const XMLCh* const, const XMLCh* const systemIdText) {
    // Only the DOCTYPE's own DTD is looked at here, once; other entities fail as the parser
    // reports them. "Always" keeps the DTD a condition of the document.
    if (!dtdRestart.takeRequest(systemIdText)) return nullptr;
    if (dtdRestart.running() || OptionSet::SchemaValidation != 0) return nullptr;
    std::wstring reason;
    xercesc::InputSource* dtd =
        openExternalDTD(systemIdText, locator != nullptr ? locator->getSystemId() : nullptr, reason);
    if (dtd != nullptr) return dtd;
    const XMLFileLoc atLine = locator != nullptr ? locator->getLineNumber() : 0;
    const XMLFileLoc atColumn = locator != nullptr ? locator->getColumnNumber() : 0;
    dtdRestart.skip();
    dtdNote.leaveOut(reason, atLine, atColumn);
    return emptyExternalSubset();
}

void SAX2CountHandlers::clearParseFlags() {
    errorSeen = 0;
    fatalSeen = 0;
    cancelled = 0;
    refused = 0;
    documentEnded = false;
    doctypeSeen = false;
    dtdNote.clear();
    clearLostAttributes();
    clearCutTexts();
    dtdRestart.clear();
}

void SAX2CountHandlers::logWarning(const wchar_t* text, int atLine, int atColumn) {
    copyCut(message, std::size(message), text);
    std::swprintf(position, std::size(position), L"line %d column %d", atLine, atColumn);
    logMessage(L"Warning");
}

bool SAX2CountHandlers::loadFailed() const {
    if (stopRequested()) return true;
    // After a fatal error, "ContinueAfterFatalError" loads what was read, if anything.
    return fatalSeen && (panel == nullptr || panel->tree == nullptr || ElementStore::itemCount(panel->tree) == 0);
}

void SAX2CountHandlers::finishDTDNote() {
    if (loadFailed()) {
        dtdNote.discard();
        return;
    }
    if (!dtdNote.write(OptionSet::SchemaValidation == 1)) return;
    logWarning(dtdNote.text(), static_cast<int>(dtdNote.line()), static_cast<int>(dtdNote.column()));
}

void SAX2CountHandlers::failParse(const wchar_t* text, const XMLCh* documentId, int atLine, int atColumn) {
    const xercesc::SAXParseException report(text, L"", documentId != nullptr ? documentId : L"",
                                            static_cast<XMLFileLoc>(atLine), static_cast<XMLFileLoc>(atColumn));
    fatalError(report);
    refused = 1;
}

bool SAX2CountHandlers::isRepeatedReport(DTDRestart::Kind kind, const xercesc::SAXParseException& exc) {
    return dtdRestart.isRepeat(kind, exc);
}

void SAX2CountHandlers::noteLostAttributes(const XMLTreeItem& record,
                                           const xercesc::Attributes& list,
                                           const std::vector<XMLSize_t>& lost) {
    // A few elements with a few names each say what happened; counts say the rest.
    constexpr uint32_t kElementsNamed = 3;
    constexpr size_t kNamesPerElement = 8;
    if (++lostElements_ == 1) {
        lostLine_ = record.line + 1;
        lostColumn_ = record.column;
    }
    if (lostElements_ <= kElementsNamed) {
        if (!lostEntries_.empty()) lostEntries_ += L"; ";
        lostEntries_ += L"element ";
        lostEntries_ += record.nameText();
        lostEntries_ += L" at line " + std::to_wstring(record.line + 1) + L" lost ";
        for (size_t i = 0; i < lost.size() && i < kNamesPerElement; ++i) {
            const XMLCh* name = list.getQName(lost[i]);
            if (i != 0) lostEntries_ += L", ";
            lostEntries_ += name != nullptr ? name : L"";
        }
        if (lost.size() > kNamesPerElement)
            lostEntries_ += L" and " + std::to_wstring(lost.size() - kNamesPerElement) + L" more";
    }
    lostAttributesNote = L"Loaded without some attributes too long to keep: ";
    lostAttributesNote += lostEntries_;
    if (lostElements_ > kElementsNamed)
        lostAttributesNote += L"; " + std::to_wstring(lostElements_ - kElementsNamed) + L" more elements";
}

void SAX2CountHandlers::clearLostAttributes() {
    lostAttributesNote.clear();
    lostEntries_.clear();
    lostElements_ = 0;
}

void SAX2CountHandlers::noteCutText(const XMLTreeItem& record) {
    constexpr uint32_t kElementsNamed = 3;
    if (lastCut_ == &record) return;
    lastCut_ = &record;
    if (++cutElements_ == 1) {
        cutLine_ = record.line + 1;
        cutColumn_ = record.column;
    }
    if (cutElements_ <= kElementsNamed) {
        if (!cutEntries_.empty()) cutEntries_ += L"; ";
        cutEntries_ += L"element ";
        cutEntries_ += record.nameText();
        cutEntries_ += L" at line " + std::to_wstring(record.line + 1);
    }
    cutTextsNote = L"Loaded with some texts cut at 65,535 units: ";
    cutTextsNote += cutEntries_;
    if (cutElements_ > kElementsNamed)
        cutTextsNote += L"; " + std::to_wstring(cutElements_ - kElementsNamed) + L" more elements";
}

void SAX2CountHandlers::clearCutTexts() {
    cutTextsNote.clear();
    cutEntries_.clear();
    cutElements_ = 0;
    lastCut_ = nullptr;
    runCut_ = false;
}

void SAX2CountHandlers::logLostAttributes() {
    if (loadFailed()) return;
    if (!lostAttributesNote.empty()) logWarning(lostAttributesNote.c_str(), lostLine_, lostColumn_);
    if (!cutTextsNote.empty()) logWarning(cutTextsNote.c_str(), cutLine_, cutColumn_);
}

void SAX2CountHandlers::refuseEntityOutput() {
    refreshPosition();
    const XMLCh* documentId = locator != nullptr ? locator->getSystemId() : nullptr;
    const XMLCh* publicId = locator != nullptr ? locator->getPublicId() : nullptr;
    const xercesc::SAXParseException report(entityOutputLimitText(), publicId != nullptr ? publicId : L"",
                                            documentId != nullptr ? documentId : L"", line, column);
    fatalError(report);
    // The scan may be inside a long token of references: it ends at the parser's next allocation.
    endScanAtNextAllocation();
}

void SAX2CountHandlers::startDocument() {
    line = 1;
    column = 1;
    currentItem = nullptr;
    elementCount = 0;
    currentPathHash = 0;
    blankPending_.clear();
    places_.clear();
    placesStart_.clear();
    attributeTextAdded_ = 0;
    entityOutput.begin();
    if (!dtdRestart.running()) {
        clearParseFlags();
        closeLog();
    }
    // A second pass builds the tree anew, so what the first one left out is noted again.
    clearLostAttributes();
    clearCutTexts();
    documentEnded = false;
    dtdRestart.setDocument(locator != nullptr ? locator->getSystemId() : nullptr);
    if (locator != nullptr) addDocumentId(locator->getSystemId());
    textBuffer[0] = 0;
    textEnd = textBuffer;
    if (panel != nullptr) {
        panel->doctypeName[0] = 0;
        panel->doctypePublicId[0] = 0;
        panel->doctypeSystemId[0] = 0;
    }
    if (OptionSet::UseExternalSchema) OptionSet::PathToExternalSchema.reset();
}

uint32_t SAX2CountHandlers::attributeTextBound(bool known, XMLFilePos written) const {
    if (!known) return kMaxTextUnits;
    const uint64_t left =
        attributeTextAdded_ < kAttributeTextFromReferences ? kAttributeTextFromReferences - attributeTextAdded_ : 0;
    const uint64_t bound = static_cast<uint64_t>(written) + left;
    return bound < kMaxTextUnits ? static_cast<uint32_t>(bound) : kMaxTextUnits;
}

void SAX2CountHandlers::startElement(const XMLCh* const,
                                     const XMLCh* const,
                                     const XMLCh* const qname,
                                     const xercesc::Attributes& attrs) {
    XMLFilePos tagEnd = 0;
    const bool known = readerSourceOffset(xmlReader, tagEnd);
    if (entityOutput.deliverAttributes(attributeValueUnits(attrs), known, tagEnd)) refuseEntityOutput();
    dtdRestart.leaveProlog();
    if (stopRequested() || panel == nullptr) {
        markSource();
        return;
    }
    XMLTreeItem* parentRecord = flushText();
    if (parentRecord != nullptr) notePlaceOfChild(*parentRecord);
    // The record keeps the name as the document has it; under "IgnoreNamespaces" a prefixed
    // name gets the name id of its local part, by which the comparison matches it.
    const wchar_t* elementName = qname == nullptr ? L"" : qname;
    const wchar_t* local = localPart(elementName);
    HashItem* spelling = nullptr;
    if (OptionSet::IgnoreNamespaces && local != elementName) {
        if (const HashItem* compared = nameDictionary.lookupName(local))
            spelling = nameDictionary.lookupSpelling(elementName, compared->nameId);
    }
    auto* record = new XMLTreeItem(spelling != nullptr ? nullptr : elementName, spelling, panel->tree, currentPathHash,
                                   line, column);
    XMLFilePos written = 0;
    const bool writtenKnown = known && entityOutput.writtenUpTo(tagEnd, written);
    lostWork_.clear();
    record->setAttributes(attrs, panel, attributeTextBound(writtenKnown, written), &lostWork_);
    if (writtenKnown && record->attributesLength > written) attributeTextAdded_ += record->attributesLength - written;
    if (!lostWork_.empty()) noteLostAttributes(*record, attrs, lostWork_);
    // The references the panel keeps: an attribute left out takes its own along.
    dtdNote.countKept(record->attributes, record->attributesLength);
    currentPathHash = record->pathHash;
    XMLTreeItem::insertTreeItem(record, parentRecord, panel->tree, TVI_LAST);
    if (record->treeItem == nullptr) {
        // The display refused the item: nothing can hold the record.
        delete record;
    } else {
        currentItem = record->treeItem;
        blankPending_.push_back(false);
        placesStart_.push_back(places_.size());
    }
    textBuffer[0] = 0;
    textEnd = textBuffer;
    runCut_ = false;
    refreshPosition();
}

void SAX2CountHandlers::characters(const XMLCh* const chars, const XMLSize_t length) {
    if (entityOutput.deliver(length)) refuseEntityOutput();
    dtdNote.countKept(chars, length);
    if (stopRequested()) {
        markSource();
        return;
    }
    // The buffer holds the 65,535 units an element's text can have; the rest is cut off,
    // before any character or kept reference that would not fit whole.
    const size_t used = static_cast<size_t>(textEnd - textBuffer);
    const size_t room = static_cast<size_t>(kTextBufferUnits - 1) - used;
    const size_t take = runCut_ ? 0 : length < room ? length : room;
    if (take != 0) {
        std::memcpy(textEnd, chars, take * sizeof(wchar_t));
        textEnd += take;
    }
    if (take < length && !runCut_) {
        runCut_ = true;
        textEnd = textBuffer + textCutBefore(textBuffer, static_cast<uint32_t>(used + take));
        if (panel != nullptr && panel->tree != nullptr) {
            if (const XMLTreeItem* record = XMLTreeItem::fromHandle(panel->tree, currentItem)) noteCutText(*record);
        }
    }
    *textEnd = 0;
    refreshPosition();
}

void SAX2CountHandlers::endElement(const XMLCh* const, const XMLCh* const, const XMLCh* const) {
    if (stopRequested() || panel == nullptr) {
        markSource();
        return;
    }
    refreshPosition();
    ++elementCount;
    XMLTreeItem* record = flushText();
    if (record != nullptr) {
        record->finish(line, column);
        if (OptionSet::DisplayFullMode) {
            int total = record->computeItemLines();
            ElementStore::setHeight(panel->tree, record->treeItem, total);
            if (total > 24) panel->hasTallItems = 1;
        }
    }
    if (currentItem != nullptr) {
        if (!blankPending_.empty()) blankPending_.pop_back();
        if (!placesStart_.empty()) {
            places_.resize(placesStart_.back());
            placesStart_.pop_back();
        }
        currentItem = ElementStore::parent(panel->tree, currentItem);
        if (XMLTreeItem* open = XMLTreeItem::fromHandle(panel->tree, currentItem)) currentPathHash = open->pathHash;
    }
    textBuffer[0] = 0;
    textEnd = textBuffer;
    runCut_ = false;
}

void SAX2CountHandlers::endDocument() {
    if (panel != nullptr && elementCount >= 2 && !stopRequested()) {
        auto* summary = new XMLTreeItem(nullptr, &summaryName, panel->tree, 0, 0, 0);
        XMLTreeItem::insertTreeItem(summary, nullptr, panel->tree, TVI_LAST);
        if (summary->treeItem == nullptr) {
            delete summary;
            summary = nullptr;
        } else {
            summary->descendantCount = static_cast<uint32_t>(elementCount - 1);
            summary->finish(line, column);
            ElementStore::setHeight(panel->tree, summary->treeItem, OptionSet::DisplayFullMode ? 20 : 1);
            panel->summaryItem = summary;
            summary->partner = summary;
        }
    }
    refreshPosition();
    if (panel != nullptr) {
        // Without an XML declaration the encoding is what the document's first bytes show.
        if (!advancedHandler.encodingSeen) panel->outputEncoding.setName(panel->detectedEncoding);
        panel->lineIndexCount = static_cast<uint32_t>(line < 0 ? 0 : line);
        panel->refreshTree(7);
        if (panel->summaryItem != nullptr) ElementStore::select(panel->tree, panel->summaryItem->treeItem);
    }
    documentEnded = true;
    finishDTDNote();
    logLostAttributes();
    closeLog();
}

void SAX2CountHandlers::ignorableWhitespace(const XMLCh* const, const XMLSize_t length) {
    if (entityOutput.deliver(length)) refuseEntityOutput();
    refreshPosition();
}

void SAX2CountHandlers::processingInstruction(const XMLCh* const, const XMLCh* const) {
    refreshPosition();
}

void SAX2CountHandlers::setDocumentLocator(const xercesc::Locator* const value) {
    locator = value;
}

namespace {
template <size_t units>
void copyCut(wchar_t (&buffer)[units], const XMLCh* source) {
    copyCut(buffer, units, source);
}

template <size_t units>
void joinCut(wchar_t (&buffer)[units], std::initializer_list<const wchar_t*> pieces) {
    size_t used = 0;
    buffer[0] = 0;
    for (const wchar_t* piece : pieces) {
        copyCut(buffer + used, units - used, piece);
        used += std::wcslen(buffer + used);
    }
}
}  // namespace

int SAX2CountHandlers::reportParseMessage(const wchar_t* kind, const xercesc::SAXParseException& exc, UINT icon) {
    copyCut(message, exc.getMessage());
    copyCut(systemId, exc.getSystemId());
    std::swprintf(position, sizeof(position) / sizeof(position[0]), L"line %d column %d",
                  static_cast<int>(exc.getLineNumber()), static_cast<int>(exc.getColumnNumber()));
    if (!OptionSet::ShowErrorMessages) return 0;

    joinCut(messageText, {kind, L" at ", systemId, L"\n", position, L"\n", message, L"$Continue?"});
    int answer = showMessage(messageText, nullptr, kind, MB_OKCANCEL | MB_HELP | icon, boxOwnerWindow);
    if (answer == IDCANCEL) cancelled = 1;
    return answer;
}

void SAX2CountHandlers::setDocumentId(const XMLCh* documentId) {
    documentIds_.clear();
    addDocumentId(documentId);
}

void SAX2CountHandlers::addDocumentId(const XMLCh* documentId) {
    if (documentId == nullptr || documentId[0] == 0) return;
    for (const std::wstring& id : documentIds_) {
        if (id == documentId) return;
    }
    documentIds_.emplace_back(documentId);
}

bool SAX2CountHandlers::isOutsideDocument(const XMLCh* reportId) const {
    if (reportId == nullptr || reportId[0] == 0) return false;
    for (const std::wstring& id : documentIds_) {
        if (id == reportId) return false;
    }
    return !documentIds_.empty();
}

void SAX2CountHandlers::logMessage(const wchar_t* kind, const XMLCh* file) {
    if (!OptionSet::LogErrorMessages || logPath[0] == 0) return;
    if (logFile == nullptr) {
        // A log that cannot be created stays INVALID_HANDLE_VALUE, so the parse does not retry it.
        logFile = CreateFileW(logPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    }
    if (logFile == INVALID_HANDLE_VALUE) return;
    if (file != nullptr && file[0] != 0)
        joinCut(messageText, {kind, L" at ", position, L" in ", file, L" : ", message, L"\r\n"});
    else
        joinCut(messageText, {kind, L" at ", position, L" : ", message, L"\r\n"});
    writeText(logFile, messageText, -1);
}

void SAX2CountHandlers::warning(const xercesc::SAXParseException& exc) {
    if (isRepeatedReport(DTDRestart::Kind::kWarning, exc) || cancelled) return;
    reportParseMessage(L"Warning", exc, MB_ICONWARNING);
}

void SAX2CountHandlers::error(const xercesc::SAXParseException& exc) {
    if (isRepeatedReport(DTDRestart::Kind::kError, exc)) return;
    errorSeen = 1;
    if (cancelled) return;
    reportParseMessage(L"Error", exc, MB_ICONERROR);
    logMessage(L"Error", isOutsideDocument(systemId) ? systemId : nullptr);
}

void SAX2CountHandlers::fatalError(const xercesc::SAXParseException& exc) {
    if (refused || isRepeatedReport(DTDRestart::Kind::kFatalError, exc)) return;
    fatalSeen = 1;
    if (isRefusalReport(exc)) {
        refused = 1;
        if (OptionSet::ContinueAfterFatalError) endScanAtNextAllocation();
    }
    if (cancelled) return;
    reportParseMessage(L"Fatal error", exc, MB_ICONERROR);
    logMessage(L"Fatal error", isOutsideDocument(systemId) ? systemId : nullptr);
}

void SAX2CountHandlers::resetErrors() {
    if (!dtdRestart.running()) errorSeen = 0;
}

void SAX2CountHandlers::comment(const XMLCh* const, const XMLSize_t) {
    refreshPosition();
}

void SAX2CountHandlers::endCDATA() {
    refreshPosition();
}

void SAX2CountHandlers::endDTD() {
    refreshPosition();
}

void SAX2CountHandlers::endEntity(const XMLCh* const) {
    entityOutput.leave();
    refreshPosition();
}

void SAX2CountHandlers::startEntity(const XMLCh* const) {
    entityOutput.enter();
    markSource();
}

void SAX2CountHandlers::startDTD(const XMLCh* const name, const XMLCh* const publicId, const XMLCh* const systemIdText) {
    if (panel != nullptr) panel->setDoctype(name, publicId, systemIdText);
    doctypeSeen = true;
    dtdRestart.expectDTD(systemIdText);
    refreshPosition();
    dtdNote.setDoctype(systemIdText, static_cast<XMLFileLoc>(line), static_cast<XMLFileLoc>(column));
}

void SAX2CountHandlers::internalEntityDecl(const XMLCh* const name, const XMLCh* const value) {
    if (panel != nullptr) EntityTable::add(panel->entityTable.get(), name, value);
}

void AdvancedHandler::XMLDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const,
                              const XMLCh* const actualEncodingStr) {
    if (panel == nullptr) return;
    std::wcsncpy(panel->declaredEncoding, actualEncodingStr != nullptr ? actualEncodingStr : L"",
                 std::size(panel->declaredEncoding) - 1);
    panel->outputEncoding.setName(actualEncodingStr);
    // A registered alias longer than an option value holds: the parser read it by its whole name.
    if (panel->outputEncoding.codePage == 0) panel->outputEncoding.setDeclaredName(actualEncodingStr);
    encodingSeen = true;
}
