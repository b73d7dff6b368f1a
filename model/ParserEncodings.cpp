#include "model/ParserEncodings.h"

#include <windows.h>

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/TranscodingException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUTF16Transcoder.hpp>
#include <xercesc/util/XMLUTF8Transcoder.hpp>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "settings/EncodingSpec.h"

namespace {

using xercesc::MemoryManager;
using xercesc::XMLTranscoder;
using xercesc::XMLTransService;

constexpr uint32_t kUtf7 = 65000;
constexpr uint32_t kUtf8 = 65001;
constexpr uint32_t kUtf16BigEndian = 1201;
constexpr uint32_t kKindUtf16 = 4;

// One code page of Windows, character by character: the parser needs to know how many
// bytes each character took. CodePageBytes takes the bytes apart by the encoding's own
// definition; what it refuses is refused with the bytes and the encoding's name.
class CodePageTranscoder : public XMLTranscoder {
public:
    CodePageTranscoder(const XMLCh* name, const EncodingSpec& spec, XMLSize_t blockSize, MemoryManager* manager)
        : XMLTranscoder(name, blockSize, manager), spec_(spec), bytes_(spec) {}

    XMLSize_t transcodeFrom(const XMLByte* const source,
                            const XMLSize_t count,
                            XMLCh* const toFill,
                            const XMLSize_t maxChars,
                            XMLSize_t& bytesEaten,
                            unsigned char* const charSizes) override {
        // The reader keeps the bytes of a character cut at the end of its buffer and reads more
        // behind them before it asks again: asked with only those bytes, it found no more, so
        // the document ends inside the character.
        if (left_ > 0 && count == left_) failAt(source, count);
        left_ = 0;
        XMLSize_t in = 0;
        XMLSize_t out = 0;
        while (out < maxChars && in < count) {
            int length = 0;
            wchar_t units[2];
            int made = 0;
            const CodePageBytes::Status status = bytes_.next(source + in, count - in, &length, units, &made);
            if (status == CodePageBytes::kIncomplete) {
                left_ = count - in;
                break;
            }
            if (status == CodePageBytes::kInvalid)
                failAt(source + in, std::min(static_cast<XMLSize_t>(length), count - in));
            if (out + static_cast<XMLSize_t>(made) > maxChars) break;
            for (int i = 0; i < made; ++i) {
                toFill[out] = units[i];
                charSizes[out++] = static_cast<unsigned char>(i == 0 ? length : 0);
            }
            in += static_cast<XMLSize_t>(length);
        }
        // A call that fills toFill may stop right before a character cut by the end of the
        // bytes. The reader then hands those bytes back alone, and when the document ends there
        // it stops without asking again once a call eats nothing: the cut is noted now, so that
        // the call with only those bytes refuses them.
        if (left_ == 0 && in < count) {
            int length = 0;
            wchar_t units[2];
            int made = 0;
            if (bytes_.next(source + in, count - in, &length, units, &made) == CodePageBytes::kIncomplete)
                left_ = count - in;
        }
        bytesEaten = in;
        return out;
    }

    XMLSize_t transcodeTo(const XMLCh* const source,
                          const XMLSize_t count,
                          XMLByte* const toFill,
                          const XMLSize_t maxBytes,
                          XMLSize_t& charsEaten,
                          const UnRepOpts options) override {
        XMLSize_t in = 0;
        XMLSize_t out = 0;
        while (in < count && out < maxBytes) {
            const int units = isHighSurrogate(source[in]) && in + 1 < count ? 2 : 1;
            const bool held = spec_.holdsCharacter(source + in, units);
            if (!held && options == UnRep_Throw) {
                XMLCh number[17];
                xercesc::XMLString::binToText(static_cast<unsigned int>(source[in]), number, 16, 16,
                                              getMemoryManager());
                // The parser's own way of refusing; it catches it around the parse.
                ThrowXMLwithMemMgr2(xercesc::TranscodingException, xercesc::XMLExcepts::Trans_Unrepresentable, number,
                                    getEncodingName(), getMemoryManager());
            }
            // What the encoding lacks is a question mark, never a look-alike or a superset's bytes.
            static constexpr wchar_t kStandIn = L'?';
            char bytes[8];
            const int made = WideCharToMultiByte(spec_.codePage, WC_NO_BEST_FIT_CHARS, held ? source + in : &kStandIn,
                                                 held ? units : 1, bytes, sizeof(bytes), nullptr, nullptr);
            if (made <= 0 || out + static_cast<XMLSize_t>(made) > maxBytes) break;
            std::memcpy(toFill + out, bytes, static_cast<size_t>(made));
            out += static_cast<XMLSize_t>(made);
            in += static_cast<XMLSize_t>(units);
        }
        charsEaten = in;
        return out;
    }

    bool canTranscodeTo(const unsigned int toCheck) override {
        wchar_t units[2];
        int count = 1;
        if (toCheck > 0xFFFF) {
            units[0] = static_cast<wchar_t>(0xD800 + ((toCheck - 0x10000) >> 10));
            units[1] = static_cast<wchar_t>(0xDC00 + ((toCheck - 0x10000) & 0x3FF));
            count = 2;
        } else {
            units[0] = static_cast<wchar_t>(toCheck);
        }
        return spec_.holdsCharacter(units, count);
    }

private:
    static bool isHighSurrogate(XMLCh c) { return c >= 0xD800 && c <= 0xDBFF; }

    // Bytes the encoding does not have; the message names them and the encoding.
    [[noreturn]] void failAt(const XMLByte* bytes, XMLSize_t count) {
        unsigned int named = 0;
        for (XMLSize_t i = 0; i < count && i < 3; ++i)
            named = named << 8 | bytes[i];
        XMLCh number[17];
        xercesc::XMLString::binToText(named, number, 16, 16, getMemoryManager());
        ThrowXMLwithMemMgr2(xercesc::TranscodingException, xercesc::XMLExcepts::Trans_BadSrcCP, number,
                            getEncodingName(), getMemoryManager());
    }

    EncodingSpec spec_;
    CodePageBytes bytes_;
    XMLSize_t left_ = 0;  // bytes of a cut character the last call left uneaten
};

// The parser's own encodings (UTF-8, UTF-16, ASCII, Latin-1, ...) are looked up before
// this service is asked; every other name comes here and is read by the table's code page.
// Owns the platform service it stands in front of, which still serves the rest.
class TableTransService : public XMLTransService {
public:
    explicit TableTransService(XMLTransService* platform) : platform_(platform) {}
    ~TableTransService() override { delete platform_; }
    TableTransService(const TableTransService&) = delete;
    TableTransService& operator=(const TableTransService&) = delete;

    int compareIString(const XMLCh* const a, const XMLCh* const b) override { return platform_->compareIString(a, b); }
    int compareNIString(const XMLCh* const a, const XMLCh* const b, const XMLSize_t count) override {
        return platform_->compareNIString(a, b, count);
    }
    const XMLCh* getId() const override { return platform_->getId(); }
    xercesc::XMLLCPTranscoder* makeNewLCPTranscoder(MemoryManager* manager) override {
        return platform_->makeNewLCPTranscoder(manager);
    }
    bool supportsSrcOfs() const override { return true; }
    void upperCase(XMLCh* const text) override { platform_->upperCase(text); }
    void lowerCase(XMLCh* const text) override { platform_->lowerCase(text); }

protected:
    XMLTranscoder* makeNewXMLTranscoder(const XMLCh* const encodingName,
                                        XMLTransService::Codes& result,
                                        const XMLSize_t blockSize,
                                        MemoryManager* const manager) override {
        result = XMLTransService::UnsupportedEncoding;
        if (encodingName == nullptr) return nullptr;
        // A declaration means what its name means, never what the loose rules of option values
        // make of it: "foo850" is no encoding, nor is "UNIX" UTF-16.
        EncodingSpec spec;
        if (!spec.setDeclaredName(encodingName)) return nullptr;
        // UTF-7 shifts in and out of its base64 runs: no character-by-character conversion reads it.
        if (spec.kind == 0 || spec.codePage == kUtf7) return nullptr;
        result = XMLTransService::Ok;
        if (spec.kind == kKindUtf16)
            return new (manager)
                xercesc::XMLUTF16Transcoder(encodingName, blockSize, spec.codePage == kUtf16BigEndian, manager);
        if (spec.codePage == kUtf8) return new (manager) xercesc::XMLUTF8Transcoder(encodingName, blockSize, manager);
        return new (manager) CodePageTranscoder(encodingName, spec, blockSize, manager);
    }

private:
    XMLTransService* platform_;
};

}  // namespace

void installParserEncodings() {
    XMLTransService*& service = xercesc::XMLPlatformUtils::fgTransService;
    if (service == nullptr || dynamic_cast<TableTransService*>(service) != nullptr) return;
    service = new TableTransService(service);
}
