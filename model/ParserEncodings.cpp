#include "model/ParserEncodings.h"

#include <windows.h>

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/TranscodingException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUTF16Transcoder.hpp>
#include <xercesc/util/XMLUTF8Transcoder.hpp>

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
constexpr wchar_t kNoUnit = 0xFFFF;

// One code page of Windows, character by character: the parser needs to know how many
// bytes each character took. The lead bytes the system reports decide a character's
// length; single-byte code pages are converted through a table made once.
class CodePageTranscoder : public XMLTranscoder {
public:
    CodePageTranscoder(const XMLCh* name, UINT codePage, XMLSize_t blockSize, MemoryManager* manager)
        : XMLTranscoder(name, blockSize, manager), codePage_(codePage) {
        CPINFO info{};
        doubleByte_ = GetCPInfo(codePage, &info) && info.MaxCharSize > 1;
        for (int byte = 0; byte < 256; ++byte) {
            const char one = static_cast<char>(byte);
            wchar_t unit = kNoUnit;
            if (!(doubleByte_ && IsDBCSLeadByteEx(codePage, static_cast<BYTE>(byte))) &&
                MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &one, 1, &unit, 1) != 1)
                unit = kNoUnit;
            single_[byte] = unit;
        }
    }

    XMLSize_t transcodeFrom(const XMLByte* const source,
                            const XMLSize_t count,
                            XMLCh* const toFill,
                            const XMLSize_t maxChars,
                            XMLSize_t& bytesEaten,
                            unsigned char* const charSizes) override {
        XMLSize_t in = 0;
        XMLSize_t out = 0;
        while (out < maxChars && in < count) {
            const XMLByte lead = source[in];
            if (single_[lead] != kNoUnit) {
                toFill[out] = single_[lead];
                charSizes[out++] = 1;
                ++in;
                continue;
            }
            const bool pair = doubleByte_ && IsDBCSLeadByteEx(codePage_, lead);
            if (!pair) failAt(lead);
            if (in + 2 > count) break;  // the trail byte comes with the next block
            wchar_t units[2];
            const int made = MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS,
                                                 reinterpret_cast<const char*>(source + in), 2, units, 2);
            if (made <= 0) failAt(static_cast<unsigned>(lead) << 8 | source[in + 1]);
            if (out + static_cast<XMLSize_t>(made) > maxChars) break;
            for (int i = 0; i < made; ++i) {
                toFill[out] = units[i];
                charSizes[out++] = i == 0 ? 2 : 0;
            }
            in += 2;
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
            char bytes[8];
            BOOL usedDefault = FALSE;
            const int made =
                WideCharToMultiByte(codePage_, 0, source + in, units, bytes, sizeof(bytes), nullptr, &usedDefault);
            if (made <= 0 || out + static_cast<XMLSize_t>(made) > maxBytes) break;
            if (usedDefault && options == UnRep_Throw) {
                XMLCh number[17];
                xercesc::XMLString::binToText(static_cast<unsigned int>(source[in]), number, 16, 16,
                                              getMemoryManager());
                // The parser's own way of refusing; it catches it around the parse.
                ThrowXMLwithMemMgr2(xercesc::TranscodingException, xercesc::XMLExcepts::Trans_Unrepresentable, number,
                                    getEncodingName(), getMemoryManager());
            }
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
        char bytes[8];
        BOOL usedDefault = FALSE;
        return WideCharToMultiByte(codePage_, 0, units, count, bytes, sizeof(bytes), nullptr, &usedDefault) > 0 &&
               !usedDefault;
    }

private:
    static bool isHighSurrogate(XMLCh c) { return c >= 0xD800 && c <= 0xDBFF; }

    // A byte (or byte pair) the code page does not have; the message names it and the encoding.
    [[noreturn]] void failAt(unsigned int bytes) {
        XMLCh number[17];
        xercesc::XMLString::binToText(bytes, number, 16, 16, getMemoryManager());
        ThrowXMLwithMemMgr2(xercesc::TranscodingException, xercesc::XMLExcepts::Trans_BadSrcCP, number,
                            getEncodingName(), getMemoryManager());
    }

    UINT codePage_;
    bool doubleByte_ = false;
    wchar_t single_[256];  // the unit of each single byte, kNoUnit for lead and invalid bytes
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
        // A longer name would be cut to a shorter one that might mean something else.
        if (encodingName == nullptr || std::wcslen(encodingName) >= EncodingSpec::kNameUnits) return nullptr;
        EncodingSpec spec;
        spec.setName(encodingName);
        // UTF-7 shifts in and out of its base64 runs: no character-by-character conversion reads it.
        if (spec.kind == 0 || spec.codePage == kUtf7) return nullptr;
        result = XMLTransService::Ok;
        if (spec.kind == kKindUtf16)
            return new (manager)
                xercesc::XMLUTF16Transcoder(encodingName, blockSize, spec.codePage == kUtf16BigEndian, manager);
        if (spec.codePage == kUtf8) return new (manager) xercesc::XMLUTF8Transcoder(encodingName, blockSize, manager);
        return new (manager) CodePageTranscoder(encodingName, spec.codePage, blockSize, manager);
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
