#include "model/ParserSetup.h"

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/framework/URLInputSource.hpp>
#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/framework/XMLPScanToken.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/BinMemInputStream.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/RuntimeException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLChar.hpp>
#include <xercesc/util/XMLMsgLoader.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLURL.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/util/XMLUri.hpp>

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "model/DocumentHandlers.h"
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
void setDTDFeatures(bool load, bool validate, bool dynamic) {
    using xercesc::XMLUni;
    xmlReader->setFeature(XMLUni::fgXercesLoadExternalDTD, load);
    xmlReader->setFeature(XMLUni::fgSAX2CoreValidation, validate);
    xmlReader->setFeature(XMLUni::fgXercesDynamic, dynamic);
}

void setDTDFeaturesFromOptions() {
    setDTDFeatures(OptionSet::SchemaValidation != 1, OptionSet::SchemaValidation != 1,
                   OptionSet::SchemaValidation == 0);
}

// The names of the general entity references in a document's source, for the stand-in DTD
// of a second pass. What looks like a reference anywhere counts (in comments too): a name
// declared and never referenced does no harm. The source is read as UTF-16 when its first
// bytes say so, else as bytes of an ASCII-based encoding, whose names are read as UTF-8.
class ReferenceNameScanner {
public:
    explicit ReferenceNameScanner(DTDRestart& restart) : restart_(restart) {}

    void feed(const XMLByte* bytes, XMLSize_t count) {
        for (XMLSize_t i = 0; i < count; ++i) {
            const XMLByte b = bytes[i];
            if (seen_ < 2) {
                first_[seen_++] = b;
                if (seen_ < 2) continue;
                if ((first_[0] == 0xFF && first_[1] == 0xFE) || (first_[0] == '<' && first_[1] == 0)) {
                    mode_ = kLittleEndian;
                } else if ((first_[0] == 0xFE && first_[1] == 0xFF) || (first_[0] == 0 && first_[1] == '<')) {
                    mode_ = kBigEndian;
                }
                if (mode_ == kBytes) {
                    step(first_[0]);
                    step(first_[1]);
                } else {
                    step(mode_ == kLittleEndian ? first_[0] | (first_[1] << 8) : (first_[0] << 8) | first_[1]);
                }
                continue;
            }
            if (mode_ == kBytes) {
                step(b);
            } else if (!pending_) {
                low_ = b;
                pending_ = true;
            } else {
                pending_ = false;
                step(mode_ == kLittleEndian ? low_ | (b << 8) : (low_ << 8) | b);
            }
        }
    }

private:
    enum Mode { kBytes, kLittleEndian, kBigEndian };

    static bool isNameUnit(unsigned unit) {
        return unit >= 0x80 || (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') ||
               (unit >= '0' && unit <= '9') || unit == '-' || unit == '.' || unit == '_' || unit == ':';
    }

    void step(unsigned unit) {
        if (unit == '&') {
            inName_ = true;
            name_.clear();
        } else if (inName_ && unit == ';') {
            inName_ = false;
            finishName();
        } else if (inName_ && (!isNameUnit(unit) || name_.size() >= DTDRestart::kLongestName * 4)) {
            inName_ = false;
        } else if (inName_) {
            name_.push_back(unit);
        }
    }

    void finishName() {
        if (name_.empty()) return;
        std::wstring name;
        if (mode_ == kBytes) {
            std::string bytes(name_.begin(), name_.end());
            const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                  static_cast<int>(bytes.size()), nullptr, 0);
            if (units <= 0) return;
            name.resize(static_cast<size_t>(units));
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &name[0],
                                units);
        } else {
            name.assign(name_.begin(), name_.end());
        }
        restart_.addName(std::move(name));
    }

    DTDRestart& restart_;
    Mode mode_ = kBytes;
    XMLByte first_[2] = {};
    int seen_ = 0;
    bool pending_ = false;
    unsigned low_ = 0;
    bool inName_ = false;
    std::vector<unsigned> name_;
};

// Reads what is left of stream into the scanner (and into record when given).
void scanStream(xercesc::BinInputStream& stream, ReferenceNameScanner& scanner, std::string* record) {
    XMLByte buffer[1u << 16];
    for (XMLSize_t got; (got = stream.readBytes(buffer, sizeof(buffer))) != 0;) {
        scanner.feed(buffer, got);
        if (record != nullptr) record->append(reinterpret_cast<const char*>(buffer), got);
    }
}

// A stream that passes another through and keeps a copy of what it gave.
// The copy is made while recording is set.
class RecordingStream : public xercesc::BinInputStream {
public:
    RecordingStream(xercesc::BinInputStream& source, std::string& record, const bool& recording)
        : source_(source), record_(record), recording_(recording) {}
    XMLFilePos curPos() const override { return position_; }
    XMLSize_t readBytes(XMLByte* const toFill, const XMLSize_t maxToRead) override {
        const XMLSize_t got = source_.readBytes(toFill, maxToRead);
        if (recording_) record_.append(reinterpret_cast<const char*>(toFill), got);
        position_ += got;
        return got;
    }
    const XMLCh* getContentType() const override { return source_.getContentType(); }

private:
    xercesc::BinInputStream& source_;
    std::string& record_;
    const bool& recording_;
    XMLFilePos position_ = 0;
};

// A document on the network, read once: the first pass reads it through a copy, and a
// second pass reads the copy, with the rest of the document added to it.
class NetworkDocument : public xercesc::InputSource {
public:
    explicit NetworkDocument(const xercesc::XMLURL& url) : xercesc::InputSource(url.getURLText()), url_(url) {}

    xercesc::BinInputStream* makeStream() const override {
        if (replaying_) {
            return new xercesc::BinMemInputStream(reinterpret_cast<const XMLByte*>(record_.data()), record_.size(),
                                                  xercesc::BinMemInputStream::BufOpt_Reference);
        }
        if (stream_ != nullptr) return nullptr;
        xercesc::URLInputSource source(url_);
        stream_.reset(source.makeStream());
        if (stream_ == nullptr) return nullptr;
        return new RecordingStream(*stream_, record_, recording_);
    }
    // No second pass will come: the copy is let go.
    void stopRecording() {
        recording_ = false;
        std::string().swap(record_);
    }
    // Before the second pass: the rest of the document joins the copy, which the scanner reads.
    void replayTo(ReferenceNameScanner& scanner) {
        scanner.feed(reinterpret_cast<const XMLByte*>(record_.data()), record_.size());
        if (stream_ != nullptr) scanStream(*stream_, scanner, &record_);
        stream_.reset();
        replaying_ = true;
    }

private:
    xercesc::XMLURL url_;
    mutable std::unique_ptr<xercesc::BinInputStream> stream_;
    mutable std::string record_;
    bool recording_ = true;
    bool replaying_ = false;
};

// The document on the network that systemId names, else null: local files are read by
// the parser itself.
std::unique_ptr<NetworkDocument> networkDocument(const XMLCh* systemId) {
    xercesc::XMLURL url;
    if (!xercesc::XMLURL::parse(systemId, url) || url.isRelative()) return nullptr;
    const xercesc::XMLURL::Protocols protocol = url.getProtocol();
    if (protocol != xercesc::XMLURL::HTTP && protocol != xercesc::XMLURL::HTTPS && protocol != xercesc::XMLURL::FTP)
        return nullptr;
    return std::make_unique<NetworkDocument>(url);
}

// Reads the local document at systemId into the scanner, as the parser would open it. A
// document that cannot be opened now is left to the parse to report.
void scanLocalDocument(const XMLCh* systemId, ReferenceNameScanner& scanner) {
    try {
        std::unique_ptr<xercesc::InputSource> source;
        xercesc::XMLURL url;
        if (xercesc::XMLURL::parse(systemId, url) && !url.isRelative())
            source.reset(new xercesc::URLInputSource(url));
        else
            source.reset(new xercesc::LocalFileInputSource(systemId));
        std::unique_ptr<xercesc::BinInputStream> stream(source->makeStream());
        if (stream != nullptr) scanStream(*stream, scanner, nullptr);
    } catch (const xercesc::OutOfMemoryException&) {
        throw;
    } catch (...) {
    }
}

// Parses the document from the start, through the source that it was first read from
// when it is on the network.
bool parseFirstFrom(const XMLCh* systemId, NetworkDocument* network, xercesc::XMLPScanToken& token) {
    return network != nullptr ? xmlReader->parseFirst(*network, token) : xmlReader->parseFirst(systemId, token);
}

// One token per call: a stop asked for by a handler takes effect after the token that
// asked for it, instead of after the rest of the document.
void scanRest(xercesc::XMLPScanToken& token) {
    while (!countHandlers.stopRequested() && xmlReader->parseNext(token)) {
    }
}

// The document's external DTD could not be read. The parser has read it as empty, but it
// validates any document with a DOCTYPE, and without the DTD's declarations every element
// would be an error. So the document is read again as with "SchemaValidation" Never, with
// the stand-in DTD that keeps the references as written; the reports of the DOCTYPE have
// been made already and are not made twice. A second pass that fails is the parse's failure.
bool restartWithoutDTD(const XMLCh* systemId, NetworkDocument* network, xercesc::XMLPScanToken& token) {
    xmlReader->parseReset(token);
    DTDRestart::Pass pass(countHandlers.dtdRestart);
    ReferenceNameScanner scanner(countHandlers.dtdRestart);
    if (network != nullptr)
        network->replayTo(scanner);
    else
        scanLocalDocument(systemId, scanner);
    setDTDFeatures(countHandlers.dtdRestart.nameCount() != 0, false, false);
    const bool started = parseFirstFrom(systemId, network, token);
    if (started) scanRest(token);
    return started;
}

}  // namespace

void initParser() {
    if (xmlReader != nullptr) return;
    try {
        xercesc::XMLPlatformUtils::Initialize("en_US");
        installParserEncodings();
        xmlReader = xercesc::XMLReaderFactory::createXMLReader(&parserMemory);
    } catch (...) {
        xmlReader = nullptr;
    }
}

namespace {
void installHandlers() {
    xmlReader->setContentHandler(&countHandlers);
    xmlReader->setErrorHandler(&countHandlers);
    xmlReader->installAdvDocHandler(&advancedHandler);
    xmlReader->setLexicalHandler(&countHandlers);
    xmlReader->setDeclarationHandler(&countHandlers);
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
    if (OptionSet::SchemaValidation == 2 && OptionSet::UseExternalSchema && (schema.flags & FilePath::kXSD))
        location = const_cast<wchar_t*>(schema.reset());
    xmlReader->setProperty(XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation, location);
    xmlReader->setProperty(XMLUni::fgXercesSecurityManager, securityManager());
    enableNonPrintableChars(OptionSet::AllowNonPrintableChars == 1);
}

void parseDocument(const XMLCh* systemId) {
    countHandlers.clearParseFlags();
    if (xmlReader == nullptr) return;
    parserMemory.beginParse();
    xercesc::XMLPScanToken token;
    bool started = false;
    // Outlives the reader's use of it: the reader lets go of its streams at the reset below.
    std::unique_ptr<NetworkDocument> network;
    try {
        network = networkDocument(systemId);
        started = parseFirstFrom(systemId, network.get(), token);
        if (started && countHandlers.dtdRestart.skipped() && !countHandlers.stopRequested()) {
            started = restartWithoutDTD(systemId, network.get(), token);
        } else if (started) {
            if (network != nullptr) network->stopRecording();
            scanRest(token);
        }
        countHandlers.logSkippedDtd();
    } catch (const xercesc::OutOfMemoryException&) {
        // The parser leaves its state as it was when memory ran out.
        parserMemory.endParse();
        renewReader();
        parserMemory.releaseSpares();
        if (xmlReader != nullptr) setDTDFeaturesFromOptions();
        throw;
    } catch (const xercesc::XMLException& failure) {
        // Only the opening of the document throws here; the scan reports its own failures.
        started = false;
        reportOpenFailure(failure);
    }
    parserMemory.endParse();
    if (started) xmlReader->parseReset(token);
    if (parserMemory.refusedThisParse()) renewReader();
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
