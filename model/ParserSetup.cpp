#include "model/ParserSetup.h"

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/framework/URLInputSource.hpp>
#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/framework/XMLPScanToken.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/RuntimeException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLChar.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLMsgLoader.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLURL.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/util/XMLUri.hpp>

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "model/DocumentHandlers.h"
#include "model/NetworkReader.h"
#include "model/ParserEncodings.h"
#include "settings/OptionSet.h"

xercesc::SAX2XMLReader* xmlReader = nullptr;

namespace {

constexpr int kControlUnits = 32;
constexpr uint8_t kValidCharBit = 0x40;

// The parser's own entries for U+0000 to U+001F, taken each time the control characters
// are switched on, so that switching off gives back exactly what the parser had.
uint8_t savedTable10[kControlUnits];
uint8_t savedTable11[kControlUnits];
bool tablesSaved = false;

// The memory of the one reader.
// - It refuses a block past kLargestParserBlock, or past kParserMemoryBudget in all, once
//   per parse: the parser turns the refusal into a fatal error and ends the scan.
//   Throwing is how a memory manager of the parser says no; the refusal is an
//   XMLException rather than OutOfMemoryException, which would end the parse without a
//   report and leave the reader unusable.
// - Every entity reference makes a reader of some 160 KB, and the heap under Wine hands
//   blocks of that size back to the system on each free, which costs a hundred times the
//   expansion itself; a few such blocks are kept for the next reference instead.
class ParserMemory : public xercesc::MemoryManager {
public:
    ParserMemory() = default;
    ParserMemory(const ParserMemory&) = delete;
    ParserMemory& operator=(const ParserMemory&) = delete;
    ~ParserMemory() override { releaseSpares(); }

    void beginParse() {
        refusedThisParse_ = false;
        refuseNext_ = false;
    }
    // Before the reader is reset or renewed: their allocations are never refused.
    void endParse() { refuseNext_ = false; }
    // Last: what the reset and the renewal freed is not kept past the parse either.
    void releaseSpares() {
        while (spareCount_ > 0)
            ::operator delete(spare_[--spareCount_]);
    }
    void refuseNext() { refuseNext_ = true; }
    bool refusedThisParse() const { return refusedThisParse_; }

    xercesc::MemoryManager* getExceptionMemoryManager() override { return xercesc::XMLPlatformUtils::fgMemoryManager; }

    void* allocate(XMLSize_t size) override {
        if (!refusedThisParse_ && (refuseNext_ || size > kLargestParserBlock || live_ + size > kParserMemoryBudget)) {
            refusedThisParse_ = true;
            refuseNext_ = false;
            throw xercesc::RuntimeException(__FILE__, __LINE__, xercesc::XMLExcepts::Out_Of_Memory,
                                            xercesc::XMLPlatformUtils::fgMemoryManager);
        }
        XMLSize_t* block = takeSpare(size);
        if (block == nullptr) {
            block = static_cast<XMLSize_t*>(::operator new(size + kHeader, std::nothrow));
            if (block == nullptr) throw xercesc::OutOfMemoryException();
            *block = size;
        }
        live_ += size;
        return reinterpret_cast<char*>(block) + kHeader;
    }

    void deallocate(void* p) override {
        if (p == nullptr) return;
        auto* block = reinterpret_cast<XMLSize_t*>(static_cast<char*>(p) - kHeader);
        live_ -= *block;
        if (isSpareSize(*block) && spareCount_ < kSpares) {
            spare_[spareCount_++] = block;
            return;
        }
        ::operator delete(block);
    }

private:
    // The header keeps the blocks as aligned as the platform's own.
    static constexpr XMLSize_t kHeader = alignof(std::max_align_t);
    static constexpr XMLSize_t kSmallestSpare = 64u << 10;
    static constexpr XMLSize_t kLargestSpare = 1u << 20;
    static constexpr int kSpares = 16;

    static bool isSpareSize(XMLSize_t size) { return size >= kSmallestSpare && size <= kLargestSpare; }

    XMLSize_t* takeSpare(XMLSize_t size) {
        if (!isSpareSize(size)) return nullptr;
        for (int i = 0; i < spareCount_; ++i) {
            if (*spare_[i] != size) continue;
            XMLSize_t* block = spare_[i];
            spare_[i] = spare_[--spareCount_];
            return block;
        }
        return nullptr;
    }

    XMLSize_t live_ = 0;
    XMLSize_t* spare_[kSpares] = {};
    int spareCount_ = 0;
    bool refusedThisParse_ = false;
    bool refuseNext_ = false;
};

ParserMemory parserMemory;

// Bounds the entity expansions of every parse; the readers keep a pointer to it. Its
// limit is set once, when the program's statics are made, before any reader exists or a
// second thread can parse: after that it is only read.
class BoundedExpansions : public xercesc::SecurityManager {
public:
    BoundedExpansions() { setEntityExpansionLimit(kEntityExpansionLimit); }
};
BoundedExpansions parserSecurity;

// The parser takes the manager as a property it only reads.
xercesc::SecurityManager* securityManager() {
    return &parserSecurity;
}

// A document that cannot even be opened makes parseFirst throw where parse reports
// the failure through the error handler; it is reported the same way here.
void reportOpenFailure(const xercesc::XMLException& failure) {
    xercesc::ErrorHandler* handler = xmlReader->getErrorHandler();
    if (handler == nullptr) return;
    const xercesc::SAXParseException report(failure.getMessage(), L"", L"", 0, 0);
    switch (failure.getErrorType()) {
        case xercesc::XMLErrorReporter::ErrType_Warning:
            handler->warning(report);
            break;
        case xercesc::XMLErrorReporter::ErrType_Error:
            handler->error(report);
            break;
        default:
            handler->fatalError(report);
            break;
    }
}

// The external DTD as opened by openExternalDTD: the parser gets the stream that was
// opened to find out whether the DTD can be read, so a DTD on the network is fetched once.
class OpenedSource : public xercesc::InputSource {
public:
    OpenedSource(const XMLCh* systemId, const XMLCh* publicId, xercesc::BinInputStream* stream)
        : xercesc::InputSource(systemId, publicId), stream_(stream) {}
    ~OpenedSource() override { delete stream_; }
    OpenedSource(const OpenedSource&) = delete;
    OpenedSource& operator=(const OpenedSource&) = delete;

    // Owned by the caller once made; a second call gets nothing.
    xercesc::BinInputStream* makeStream() const override {
        xercesc::BinInputStream* stream = stream_;
        stream_ = nullptr;
        return stream;
    }

private:
    mutable xercesc::BinInputStream* stream_;
};

// Sets the three features that decide whether the external DTD is read and validated.
// Wherever it is not read, the parser keeps the references that only the DTD could
// declare as written (the handlers count the marks it leaves).
void setDTDFeatures(bool load, bool validate, bool dynamic) {
    using xercesc::XMLUni;
    xmlReader->setFeature(XMLUni::fgXercesLoadExternalDTD, load);
    xmlReader->setFeature(XMLUni::fgSAX2CoreValidation, validate);
    xmlReader->setFeature(XMLUni::fgXercesDynamic, dynamic);
    xmlReader->setFeature(XMLUni::fgXercesKeepUndeclaredEntityReferences, !load);
}

void setDTDFeaturesFromOptions() {
    setDTDFeatures(OptionSet::SchemaValidation != 1, OptionSet::SchemaValidation != 1,
                   OptionSet::SchemaValidation == 0);
}

// One token per call: a stop asked for by a handler takes effect after the token that
// asked for it, instead of after the rest of the document.
void scanRest(xercesc::XMLPScanToken& token) {
    while (!countHandlers.stopRequested() && xmlReader->parseNext(token)) {
    }
}

constexpr wchar_t kTooLargeText[] = L"the document is too large to read: memory ran out while it was read";
constexpr wchar_t kNotReadAgainWithoutDTDText[] = L"the document cannot be read again without its external DTD";
constexpr wchar_t kNotReadAgainWithoutSchemaText[] = L"the document cannot be read again without the external schema";

// Reads the document again from its source (a document on the network is fetched again),
// after a first reading of its prolog; the caller has changed what the reader does. The flags
// and the log of the parse stay, and only exact repeats of the first reading's reports in
// the prolog are dropped. A second reading that cannot open the document or ends before the
// document's end fails the parse with notReadAgain: what it left unread is not the document.
void readAgain(const XMLCh* systemId, xercesc::XMLPScanToken& token, bool& started, const wchar_t* notReadAgain) {
    // Only a fatal error of this pass tells why it ended: "ContinueAfterFatalError" may
    // have carried one of the first pass here.
    const int fatalBefore = countHandlers.fatalSeen;
    countHandlers.fatalSeen = 0;
    std::wstring failure;
    try {
        started = xmlReader->parseFirst(systemId, token);
        if (started) scanRest(token);
    } catch (const xercesc::XMLException& opening) {
        // Only the opening of the document throws here; the scan reports its own failures.
        failure = std::wstring(notReadAgain) + L": " + (opening.getMessage() != nullptr ? opening.getMessage() : L"");
    }
    const bool reported = countHandlers.fatalSeen != 0;
    countHandlers.fatalSeen |= fatalBefore;
    if (countHandlers.documentEnded || (failure.empty() && countHandlers.stopRequested())) return;
    if (!failure.empty()) {
        countHandlers.failParse(failure.c_str(), systemId);
    } else if (reported) {
        countHandlers.refused = 1;
    } else {
        countHandlers.failParse((std::wstring(notReadAgain) + L": it ended before its end").c_str(), systemId);
    }
}

// The external schema of the options, or null when none is set on the reader.
const void* externalSchemaLocation() {
    return xmlReader->getProperty(xercesc::XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation);
}

// The document's external DTD could not be read. The parser has read it as empty, but it
// validates any document with a DOCTYPE, and without the DTD's declarations every element
// would be an error. So the document is read again as with "SchemaValidation" Never; the
// parser keeps the references as written.
void restartWithoutDTD(const XMLCh* systemId, xercesc::XMLPScanToken& token, bool& started) {
    xmlReader->parseReset(token);
    started = false;
    DTDRestart::Pass pass(countHandlers.dtdRestart);
    setDTDFeatures(false, false, false);
    // Nothing is validated in this reading: the external schema is not read either.
    xmlReader->setProperty(xercesc::XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation, nullptr);
    readAgain(systemId, token, started, kNotReadAgainWithoutDTDText);
}

// The document has a DOCTYPE, and the external schema of the options was set to validate it.
// The parser checks each element against one grammar only, which would be the schema's, and
// the document's DTD would not be checked at all. A document with a DTD is read as without
// the option: again from its source, without the external schema.
void restartWithoutExternalSchema(const XMLCh* systemId, xercesc::XMLPScanToken& token, bool& started) {
    xmlReader->parseReset(token);
    started = false;
    DTDRestart::Pass pass(countHandlers.dtdRestart);
    xmlReader->setProperty(xercesc::XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation, nullptr);
    readAgain(systemId, token, started, kNotReadAgainWithoutSchemaText);
}

}  // namespace

void initParser() {
    if (xmlReader != nullptr) return;
    try {
        xercesc::XMLPlatformUtils::Initialize("en_US");
        installParserEncodings();
        installNetworkReader();
        xmlReader = xercesc::XMLReaderFactory::createXMLReader(&parserMemory);
    } catch (...) {
        xmlReader = nullptr;
    }
}

namespace {
// Entity requests by their kind. The external schema of the options answers the requests
// for schemas only: the document's DTD and the entities it names are read as without it
// (a schema handed over as the DTD is no DTD, and the document would be refused).
class EntityRequests : public xercesc::XMLEntityResolver {
public:
    xercesc::InputSource* resolveEntity(xercesc::XMLResourceIdentifier* request) override {
        if (request == nullptr) return nullptr;
        switch (request->getResourceIdentifierType()) {
            case xercesc::XMLResourceIdentifier::SchemaGrammar:
            case xercesc::XMLResourceIdentifier::SchemaImport:
            case xercesc::XMLResourceIdentifier::SchemaInclude:
            case xercesc::XMLResourceIdentifier::SchemaRedefine:
                return resolveExternalSchema(request->getSystemId());
            default:
                return countHandlers.resolveEntity(request->getPublicId(), request->getSystemId());
        }
    }
};
EntityRequests entityRequests;

void installHandlers() {
    xmlReader->setContentHandler(&countHandlers);
    xmlReader->setErrorHandler(&countHandlers);
    xmlReader->installAdvDocHandler(&advancedHandler);
    xmlReader->setLexicalHandler(&countHandlers);
    xmlReader->setDeclarationHandler(&countHandlers);
    // The reader's interface has only the resolver without the request's kind; the reader the
    // factory makes takes the other one too.
    if (auto* reader = dynamic_cast<xercesc::SAX2XMLReaderImpl*>(xmlReader))
        reader->setXMLEntityResolver(&entityRequests);
    else
        xmlReader->setEntityResolver(&countHandlers);
}

// A refused parse may leave the reader holding its largest buffers for reuse: a new
// reader gives them back.
void renewReader() {
    delete xmlReader;
    xmlReader = nullptr;
    try {
        xmlReader = xercesc::XMLReaderFactory::createXMLReader(&parserMemory);
    } catch (...) {
        xmlReader = nullptr;
    }
    if (xmlReader != nullptr) installHandlers();
}
}  // namespace

int setupParser() {
    initParser();
    if (xmlReader == nullptr) return 0;
    installHandlers();
    return 1;
}

void terminateParser() {
    if (xmlReader == nullptr) return;
    delete xmlReader;
    xmlReader = nullptr;
    xercesc::XMLPlatformUtils::Terminate();
}

void applyParserOptions() {
    if (xmlReader == nullptr) return;
    using xercesc::XMLUni;
    xmlReader->setFeature(XMLUni::fgXercesSchema, OptionSet::DoSchema != 0);
    xmlReader->setFeature(XMLUni::fgXercesSchemaFullChecking, OptionSet::SchemaFullChecking != 0);
    xmlReader->setFeature(XMLUni::fgXercesValidationErrorAsFatal, OptionSet::ValidationErrorAsFatal != 0);
    xmlReader->setFeature(XMLUni::fgXercesContinueAfterFatalError, OptionSet::ContinueAfterFatalError != 0);
    xmlReader->setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, OptionSet::DoNamespaces != 0);
    xmlReader->setFeature(XMLUni::fgSAX2CoreNameSpaces, OptionSet::DoNamespaces != 0);
    // The source offsets bound what references deliver to attribute values.
    xmlReader->setFeature(XMLUni::fgXercesCalculateSrcOfs, true);
    setDTDFeaturesFromOptions();
    FilePath& schema = OptionSet::PathToExternalSchema;
    void* location = nullptr;
    // Under Auto too: the schema found there turns validation on, as a DTD does.
    if (OptionSet::SchemaValidation != 1 && OptionSet::UseExternalSchema && (schema.flags & FilePath::kXSD))
        location = const_cast<wchar_t*>(schema.reset());
    xmlReader->setProperty(XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation, location);
    xmlReader->setProperty(XMLUni::fgXercesSecurityManager, securityManager());
    enableNonPrintableChars(OptionSet::AllowNonPrintableChars == 1);
}

void parseDocument(const XMLCh* systemId) {
    countHandlers.clearParseFlags();
    countHandlers.setDocumentId(systemId);
    // Reports made outside a parse lie in no document.
    struct ForgetDocument {
        ~ForgetDocument() { countHandlers.setDocumentId(nullptr); }
    } forget;
    if (xmlReader == nullptr) return;
    parserMemory.beginParse();
    xercesc::XMLPScanToken token;
    bool started = false;
    bool renew = false;
    try {
        started = xmlReader->parseFirst(systemId, token);
        if (started && countHandlers.dtdRestart.skipped() && !countHandlers.stopRequested()) {
            restartWithoutDTD(systemId, token, started);
        } else if (started && countHandlers.doctypeSeen && externalSchemaLocation() != nullptr &&
                   !countHandlers.stopRequested()) {
            restartWithoutExternalSchema(systemId, token, started);
        } else if (started) {
            scanRest(token);
        }
        countHandlers.finishDTDNote();
    } catch (const xercesc::OutOfMemoryException&) {
        // The parser leaves its state as it was when memory ran out.
        parserMemory.endParse();
        renewReader();
        parserMemory.releaseSpares();
        if (xmlReader != nullptr) setDTDFeaturesFromOptions();
        throw;
    } catch (const std::bad_alloc&) {
        // Memory outside the parser's own ran out while the document was read: the reader's
        // state is unknown, so it is renewed rather than reset.
        started = false;
        renew = true;
        countHandlers.failParse(kTooLargeText, systemId);
    } catch (const xercesc::XMLException& failure) {
        // Only the opening of the document throws here; the scan reports its own failures.
        started = false;
        reportOpenFailure(failure);
    } catch (const NetworkSilence& silence) {
        // A server that fell silent, for the document or for one of its entities. Past the
        // document's prolog, its last event tells where the document stopped coming.
        const bool inBody = started && !countHandlers.isOutsideDocument(silence.url.c_str());
        countHandlers.failParse(silence.text.c_str(), silence.url.c_str(), inBody ? countHandlers.line : 0,
                                inBody ? countHandlers.column : 0);
    } catch (const NetworkWaitCancelled&) {
        countHandlers.cancelled = 1;
    }
    parserMemory.endParse();
    if (started) xmlReader->parseReset(token);
    if (renew || parserMemory.refusedThisParse()) renewReader();
    parserMemory.releaseSpares();
    if (xmlReader != nullptr) setDTDFeaturesFromOptions();
}

bool readerSourceOffset(const xercesc::SAX2XMLReader* reader, XMLFilePos& offset) {
    if (reader == nullptr) return false;
    try {
        offset = reader->getSrcOffset();
        return true;
    } catch (...) {
        return false;
    }
}

XMLSize_t attributeValueUnits(const xercesc::Attributes& list) {
    XMLSize_t units = 0;
    for (XMLSize_t i = 0, n = list.getLength(); i < n; ++i) {
        if (const XMLCh* value = list.getValue(i)) units += xercesc::XMLString::stringLen(value);
    }
    return units;
}

namespace {
// Bounds the entity output of a detached parse; it sees nothing else of the document.
class DetachedHandler : public xercesc::DefaultHandler {
public:
    explicit DetachedHandler(ParserMemory& memory) : memory_(memory) { meter_.begin(); }
    void setReader(const xercesc::SAX2XMLReader* reader) { reader_ = reader; }

    void startEntity(const XMLCh* const) override { meter_.enter(); }
    void endEntity(const XMLCh* const) override {
        meter_.leave();
        mark();
    }
    void characters(const XMLCh* const, const XMLSize_t length) override { deliver(meter_.deliver(length)); }
    void ignorableWhitespace(const XMLCh* const, const XMLSize_t length) override { deliver(meter_.deliver(length)); }
    void startElement(const XMLCh* const, const XMLCh* const, const XMLCh* const,
                      const xercesc::Attributes& attrs) override {
        XMLFilePos end = 0;
        const bool known = readerSourceOffset(reader_, end);
        deliver(meter_.deliverAttributes(attributeValueUnits(attrs), known, end));
        meter_.markSource(known, end);
    }
    void endElement(const XMLCh* const, const XMLCh* const, const XMLCh* const) override { mark(); }

private:
    void mark() {
        XMLFilePos offset = 0;
        const bool known = readerSourceOffset(reader_, offset);
        meter_.markSource(known, offset);
    }
    // Without an error handler the parser ends the parse at the refusal's fatal error.
    void deliver(bool pastLimit) {
        if (pastLimit) memory_.refuseNext();
        mark();
    }

    ParserMemory& memory_;
    EntityOutputMeter meter_;
    const xercesc::SAX2XMLReader* reader_ = nullptr;
};
}  // namespace

void parseDetached(const XMLCh* systemId) {
    // Everything here is this thread's own: the one reader's memory keeps no locks.
    ParserMemory memory;
    DetachedHandler handler(memory);
    try {
        std::unique_ptr<xercesc::SAX2XMLReader> reader(xercesc::XMLReaderFactory::createXMLReader(&memory));
        reader->setProperty(xercesc::XMLUni::fgXercesSecurityManager, securityManager());
        reader->setFeature(xercesc::XMLUni::fgXercesCalculateSrcOfs, true);
        handler.setReader(reader.get());
        reader->setContentHandler(&handler);
        reader->setLexicalHandler(&handler);
        memory.beginParse();
        reader->parse(systemId);
    } catch (...) {
    }
}

const wchar_t* entityOutputLimitText() {
    static wchar_t text[256];
    if (text[0] == 0) {
        std::swprintf(text, 256,
                      L"entity references in the document deliver more than '%llu' characters; this is the limit "
                      L"imposed by the application",
                      static_cast<unsigned long long>(kEntityOutputLimit));
    }
    return text;
}

bool isRefusalReport(const xercesc::SAXParseException& report) {
    if (parserMemory.refusedThisParse()) return true;
    if (report.getMessage() != nullptr && std::wcscmp(report.getMessage(), entityOutputLimitText()) == 0) return true;
    // The parser's own text of the expansion limit, as its scanner fills it in.
    static wchar_t limitText[512];
    if (limitText[0] == 0) {
        std::unique_ptr<xercesc::XMLMsgLoader> loader(
            xercesc::XMLPlatformUtils::loadMsgSet(xercesc::XMLUni::fgXMLErrDomain));
        XMLCh limit[32];
        xercesc::XMLString::sizeToText(kEntityExpansionLimit, limit, 31, 10);
        if (loader == nullptr || !loader->loadMsg(xercesc::XMLErrs::EntityExpansionLimitExceeded, limitText, 511, limit,
                                                  nullptr, nullptr, nullptr)) {
            limitText[0] = 0;
            return false;
        }
    }
    const XMLCh* message = report.getMessage();
    return message != nullptr && std::wcscmp(message, limitText) == 0;
}

void endScanAtNextAllocation() {
    parserMemory.refuseNext();
}

xercesc::InputSource* resolveExternalSchema(const XMLCh* systemId) {
    FilePath& schema = OptionSet::PathToExternalSchema;
    if (!OptionSet::UseExternalSchema || !schema.isSet()) return nullptr;
    const wchar_t* path = schema.resolve(systemId);
    if (path == nullptr) return nullptr;
    if (schema.flags & FilePath::kURL) {
        xercesc::XMLURL url;
        if (!xercesc::XMLURL::parse(path, url)) return nullptr;
        return new xercesc::URLInputSource(url);
    }
    return new xercesc::LocalFileInputSource(path);
}

xercesc::InputSource* openExternalDTD(const XMLCh* systemId, const XMLCh* baseId, std::wstring& reason) {
    reason.clear();
    try {
        // The parser's own resolution: a URL when the id (against the document's) is one,
        // else a file relative to the document.
        std::unique_ptr<xercesc::InputSource> source;
        xercesc::XMLURL url;
        if (!url.setURL(baseId, systemId, url) || url.isRelative()) {
            xercesc::XMLBuffer normalized;
            xercesc::XMLUri::normalizeURI(systemId, normalized);
            source.reset(new xercesc::LocalFileInputSource(baseId, normalized.getRawBuffer()));
        } else {
            source.reset(new xercesc::URLInputSource(url));
        }
        xercesc::BinInputStream* stream = source->makeStream();
        if (stream != nullptr) return new OpenedSource(source->getSystemId(), source->getPublicId(), stream);
        reason = L"the file cannot be opened";
    } catch (const xercesc::XMLException& failure) {
        reason = failure.getMessage() != nullptr ? failure.getMessage() : L"";
    } catch (const NetworkSilence& silence) {
        reason = silence.text;
    } catch (const NetworkWaitCancelled&) {
        throw;
    } catch (...) {
    }
    if (reason.empty()) reason = L"it cannot be read";
    return nullptr;
}

xercesc::InputSource* emptyExternalSubset() {
    static const XMLByte kNothing[1] = {0};
    return new xercesc::MemBufInputSource(kNothing, 0, L"");
}

void enableNonPrintableChars(bool on) {
    uint8_t* table10 = xercesc::XMLChar1_0::getCharCharsTable();
    uint8_t* table11 = xercesc::XMLChar1_1::getCharCharsTable();
    bool allowed = (table10[1] & kValidCharBit) != 0;
    if (on == allowed) return;
    if (on) {
        std::memcpy(savedTable10, table10, kControlUnits);
        std::memcpy(savedTable11, table11, kControlUnits);
        tablesSaved = true;
        for (int unit = 1; unit < kControlUnits; ++unit) {
            table10[unit] |= kValidCharBit;
            table11[unit] |= kValidCharBit;
        }
    } else if (tablesSaved) {
        std::memcpy(table10, savedTable10, kControlUnits);
        std::memcpy(table11, savedTable11, kControlUnits);
    }
}
