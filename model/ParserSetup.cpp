#include "model/ParserSetup.h"

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/framework/URLInputSource.hpp>
#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/framework/XMLPScanToken.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/RuntimeException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLChar.hpp>
#include <xercesc/util/XMLMsgLoader.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLURL.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "model/DocumentHandlers.h"
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

// Bounds the entity expansions of every parse; the reader keeps a pointer to it.
xercesc::SecurityManager& securityManager() {
    static xercesc::SecurityManager manager;
    manager.setEntityExpansionLimit(kEntityExpansionLimit);
    return manager;
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

}  // namespace

void initParser() {
    if (xmlReader != nullptr) return;
    try {
        xercesc::XMLPlatformUtils::Initialize("en_US");
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
    xmlReader->setFeature(XMLUni::fgXercesLoadExternalDTD, OptionSet::SchemaValidation != 1);
    xmlReader->setFeature(XMLUni::fgSAX2CoreValidation, OptionSet::SchemaValidation != 1);
    xmlReader->setFeature(XMLUni::fgXercesDynamic, OptionSet::SchemaValidation == 0);
    FilePath& schema = OptionSet::PathToExternalSchema;
    void* location = nullptr;
    if (OptionSet::SchemaValidation == 2 && OptionSet::UseExternalSchema && (schema.flags & FilePath::kXSD))
        location = const_cast<wchar_t*>(schema.reset());
    xmlReader->setProperty(XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation, location);
    xmlReader->setProperty(XMLUni::fgXercesSecurityManager, &securityManager());
    enableNonPrintableChars(OptionSet::AllowNonPrintableChars == 1);
}

void parseDocument(const XMLCh* systemId) {
    countHandlers.clearParseFlags();
    if (xmlReader == nullptr) return;
    parserMemory.beginParse();
    xercesc::XMLPScanToken token;
    bool started = false;
    try {
        started = xmlReader->parseFirst(systemId, token);
        // One token per call: a stop asked for by a handler takes effect after the token
        // that asked for it, instead of after the rest of the document.
        while (started && !countHandlers.stopRequested() && xmlReader->parseNext(token)) {
        }
    } catch (const xercesc::OutOfMemoryException&) {
        // The parser leaves its state as it was when memory ran out.
        parserMemory.endParse();
        renewReader();
        parserMemory.releaseSpares();
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
}

bool isRefusalReport(const xercesc::SAXParseException& report) {
    if (parserMemory.refusedThisParse()) return true;
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
