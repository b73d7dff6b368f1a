#include <gtest/gtest.h>

#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/XMLChar.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "model/DocumentHandlers.h"
#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

using xercesc::XMLUni;

constexpr size_t kTableUnits = 0x10000;

// Every option that the parser set-up reads, put back (and applied) after each test.
class ParserSetupTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;

    void SetUp() override {
        // Parse messages are read from the handler's flags here, not from boxes.
        OptionSet::ShowErrorMessages = 0;
        OptionSet::LogErrorMessages = 0;
        OptionSet::ContinueAfterFatalError = 0;
    }

    void TearDown() override {
        options.restore();
        applyParserOptions();
    }

    bool feature(const XMLCh* name) { return xmlReader->getFeature(name); }

    const wchar_t* externalSchemaProperty() {
        return static_cast<const wchar_t*>(
            xmlReader->getProperty(XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation));
    }

    void useExternalSchema(const std::wstring& path) {
        OptionSet::DoSchema = 1;
        OptionSet::DoNamespaces = 1;
        OptionSet::SchemaValidation = 2;
        OptionSet::UseExternalSchema = 1;
        OptionSet::PathToExternalSchema.set(path.c_str());
    }
};

struct FeatureCase {
    // Options.
    uint8_t doSchema, fullChecking, errorAsFatal, continueAfterFatal, namespaces;
    int32_t validation;
    // Features read back.
    bool loadExternalDTD, validate, dynamic;
};

TEST_F(ParserSetupTest, FeaturesFollowTheOptions) {
    const FeatureCase cases[] = {
        {1, 0, 0, 0, 1, 0, true, true, true},    {0, 1, 1, 1, 0, 0, true, true, true},
        {1, 1, 0, 1, 1, 1, false, false, false}, {0, 0, 1, 0, 0, 1, false, false, false},
        {1, 0, 1, 0, 0, 2, true, true, false},   {0, 1, 0, 1, 1, 2, true, true, false},
    };
    for (const FeatureCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "SchemaValidation " << c.validation << " DoSchema " << int(c.doSchema)
                                        << " DoNamespaces " << int(c.namespaces));
        OptionSet::DoSchema = c.doSchema;
        OptionSet::SchemaFullChecking = c.fullChecking;
        OptionSet::ValidationErrorAsFatal = c.errorAsFatal;
        OptionSet::ContinueAfterFatalError = c.continueAfterFatal;
        OptionSet::DoNamespaces = c.namespaces;
        OptionSet::SchemaValidation = c.validation;
        applyParserOptions();
        EXPECT_EQ(feature(XMLUni::fgXercesSchema), c.doSchema != 0);
        EXPECT_EQ(feature(XMLUni::fgXercesSchemaFullChecking), c.fullChecking != 0);
        EXPECT_EQ(feature(XMLUni::fgXercesValidationErrorAsFatal), c.errorAsFatal != 0);
        EXPECT_EQ(feature(XMLUni::fgXercesContinueAfterFatalError), c.continueAfterFatal != 0);
        EXPECT_EQ(feature(XMLUni::fgSAX2CoreNameSpacePrefixes), c.namespaces != 0);
        EXPECT_EQ(feature(XMLUni::fgSAX2CoreNameSpaces), c.namespaces != 0);
        EXPECT_EQ(feature(XMLUni::fgXercesLoadExternalDTD), c.loadExternalDTD);
        EXPECT_EQ(feature(XMLUni::fgSAX2CoreValidation), c.validate);
        EXPECT_EQ(feature(XMLUni::fgXercesDynamic), c.dynamic);
        // Where the external DTD is not read, the references only it declares are kept.
        EXPECT_EQ(feature(XMLUni::fgXercesKeepUndeclaredEntityReferences), !c.loadExternalDTD);
        EXPECT_EQ(countHandlers.dtdNote.keepingReferences(), !c.loadExternalDTD);
    }
}

// Stands for memory outside the parser's own running out while a document is read.
class MemoryRunsOut : public xercesc::DefaultHandler {
public:
    void startElement(const XMLCh* const, const XMLCh* const, const XMLCh* const, const xercesc::Attributes&) override {
        throw std::bad_alloc();
    }
};

// The load fails as on any fatal error, with a report that the document is too large, and
// the reader, whose state is unknown, is renewed with the handlers: the next document loads.
TEST_F(ParserSetupTest, MemoryRunningOutDuringAParseFailsItAsTooLargeAndRenewsTheReader) {
    OptionSet::ShowErrorMessages = 1;
    MemoryRunsOut runsOut;
    const std::wstring path = dir.write(L"doc.xml", "<r><a/></r>");
    applyParserOptions();
    xmlReader->setContentHandler(&runsOut);
    {
        BoxScript boxes;
        boxes.expectCaption(L"Fatal error");
        EXPECT_EQ(parseIntoPanel(leftTreeView, path.c_str()), kLoadFailed);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_NE(boxes.shown()[0].text.find(L"the document is too large to read"), std::wstring::npos)
            << narrow(boxes.shown()[0].text);
    }
    const xercesc::ContentHandler* installed = xmlReader->getContentHandler();
    xmlReader->setContentHandler(&countHandlers);
    EXPECT_EQ(installed, &countHandlers);
    EXPECT_EQ(xmlReader->getErrorHandler(), &countHandlers);
    BoxScript none;
    EXPECT_EQ(parseIntoPanel(leftTreeView, path.c_str()), kLoaded);
    EXPECT_NE(elementNamed(leftTreeView, L"a"), nullptr);
}

TEST_F(ParserSetupTest, ExternalSchemaPropertyNeedsValidationAndAnXSDFile) {
    struct PropertyCase {
        int32_t validation;
        int32_t useExternal;
        const wchar_t* path;
        const wchar_t* property;  // null: cleared
    };
    const PropertyCase cases[] = {
        {2, 1, L"C:\\s\\a.xsd", L"C:\\s\\a.xsd"},
        {2, 1, L" C:\\s\\a.XSD ", L"C:\\s\\a.XSD"},
        {2, 1, L"http://h/a.xsd", L"http://h/a.xsd"},
        {2, 0, L"C:\\s\\a.xsd", nullptr},
        {0, 1, L"C:\\s\\a.xsd", L"C:\\s\\a.xsd"},
        {0, 0, L"C:\\s\\a.xsd", nullptr},
        {1, 1, L"C:\\s\\a.xsd", nullptr},
        {2, 1, L"C:\\s", nullptr},
        {2, 1, L"C:\\s\\a.xml", nullptr},
        {2, 1, L"C:\\s\\a.xs", nullptr},
        {2, 1, L"", nullptr},
    };
    for (const PropertyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << narrow(c.path) << " SchemaValidation " << c.validation
                                        << " UseExternalSchema " << c.useExternal);
        OptionSet::SchemaValidation = 2;
        OptionSet::UseExternalSchema = 1;
        OptionSet::PathToExternalSchema.set(L"C:\\previous\\p.xsd");
        applyParserOptions();

        OptionSet::SchemaValidation = c.validation;
        OptionSet::UseExternalSchema = c.useExternal;
        OptionSet::PathToExternalSchema.set(c.path);
        applyParserOptions();
        const wchar_t* property = externalSchemaProperty();
        if (c.property == nullptr) {
            EXPECT_EQ(property, nullptr);
        } else {
            ASSERT_NE(property, nullptr);
            EXPECT_EQ(narrow(property), narrow(c.property));
        }
    }

    // A parse that resolved a second name leaves the configured file to the next one.
    OptionSet::SchemaValidation = 2;
    OptionSet::UseExternalSchema = 1;
    OptionSet::PathToExternalSchema.set(L"C:\\s\\main.xsd");
    OptionSet::PathToExternalSchema.resolve(L"main.xsd");
    OptionSet::PathToExternalSchema.resolve(L"types.xsd");
    applyParserOptions();
    ASSERT_NE(externalSchemaProperty(), nullptr);
    EXPECT_EQ(narrow(externalSchemaProperty()), "C:\\s\\main.xsd");
}

TEST_F(ParserSetupTest, EntityRequestsAreAnsweredOnlyWhileTheExternalSchemaIsOn) {
    struct SourceCase {
        int32_t useExternal;
        const wchar_t* path;
        std::wstring request;
        const wchar_t* systemId;  // null: left to the parser
    };
    const SourceCase cases[] = {
        {1, L"C:\\s", L"doc.xsd", L"C:\\s\\doc.xsd"},
        {1, L"C:\\s\\main.xsd", L"other.xsd", L"C:\\s\\main.xsd"},
        {1, L"http://h/s/", L"doc.xsd", L"http://h/s/doc.xsd"},
        {0, L"C:\\s", L"doc.xsd", nullptr},
        {1, L"", L"doc.xsd", nullptr},
        {1, L"C:\\s", std::wstring(300, L'n'), nullptr},
    };
    for (const SourceCase& c : cases) {
        SCOPED_TRACE(testing::Message() << narrow(c.path) << " " << c.request.size());
        OptionSet::UseExternalSchema = c.useExternal;
        OptionSet::PathToExternalSchema.set(c.path);
        std::unique_ptr<xercesc::InputSource> source(resolveExternalSchema(c.request.c_str()));
        if (c.systemId == nullptr) {
            EXPECT_EQ(source.get(), nullptr);
        } else {
            ASSERT_NE(source.get(), nullptr);
            EXPECT_EQ(narrow(source->getSystemId()), narrow(c.systemId));
        }
    }
}

const char kNumbersSchema[] =
    "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
    "  <xs:include schemaLocation=\"types.xsd\"/>\n"
    "  <xs:element name=\"r\"><xs:complexType><xs:sequence>\n"
    "    <xs:element name=\"n\" type=\"small\" maxOccurs=\"unbounded\"/>\n"
    "  </xs:sequence></xs:complexType></xs:element>\n"
    "</xs:schema>\n";
const char kTypesSchema[] =
    "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
    "  <xs:simpleType name=\"small\"><xs:restriction base=\"xs:int\">\n"
    "    <xs:maxInclusive value=\"9\"/>\n"
    "  </xs:restriction></xs:simpleType>\n"
    "</xs:schema>\n";

TEST_F(ParserSetupTest, ExternalSchemaFileValidatesTheDocument) {
    std::wstring schema = dir.write(L"numbers.xsd", kNumbersSchema);
    dir.write(L"types.xsd", kTypesSchema);
    struct ValidationCase {
        const char* xml;
        int errorSeen;
    };
    const ValidationCase cases[] = {
        {"<r><n>1</n><n>9</n></r>", 0},
        {"<r><n>10</n></r>", 1},
        {"<r><n>x</n></r>", 1},
        {"<r><m>1</m></r>", 1},
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (const ValidationCase& c : cases) {
            SCOPED_TRACE(c.xml);
            useExternalSchema(schema);
            ASSERT_EQ(loadXml(leftTreeView, c.xml, dir), kLoaded);
            EXPECT_EQ(countHandlers.errorSeen, c.errorSeen);
            EXPECT_EQ(countHandlers.fatalSeen, 0);
        }
    }

    // Without the external schema the same valid document has no grammar to meet.
    OptionSet::UseExternalSchema = 0;
    ASSERT_EQ(loadXml(leftTreeView, cases[0].xml, dir), kLoaded);
    EXPECT_EQ(countHandlers.errorSeen, 1);
}

// A folder record looks the document's own schema name up in the folder, not beside the document.
TEST_F(ParserSetupTest, ExternalSchemaFolderAnswersTheDocumentsSchemaLocation) {
    TempDir schemas;
    schemas.write(L"numbers.xsd", kNumbersSchema);
    schemas.write(L"types.xsd", kTypesSchema);
    const std::string head =
        "<r xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:noNamespaceSchemaLocation=\"numbers.xsd\">";
    useExternalSchema(schemas.path());
    ASSERT_EQ(loadXml(leftTreeView, head + "<n>3</n></r>", dir), kLoaded);
    EXPECT_EQ(countHandlers.errorSeen, 0);
    ASSERT_EQ(loadXml(leftTreeView, head + "<n>30</n></r>", dir), kLoaded);
    EXPECT_EQ(countHandlers.errorSeen, 1);

    OptionSet::UseExternalSchema = 0;
    ASSERT_EQ(loadXml(leftTreeView, head + "<n>3</n></r>", dir), kLoaded);
    EXPECT_EQ(countHandlers.errorSeen, 1);
}

// A DTD that the next schema agrees with: r holds n elements with the attribute unit, which
// the DTD requires and the schema allows; the schema bounds the numbers, the DTD does not.
const char kNumbersDTD[] =
    "<!ELEMENT r (n+)>\n"
    "<!ELEMENT n (#PCDATA)>\n"
    "<!ATTLIST n unit CDATA #REQUIRED>\n";
const char kMeasuresSchema[] =
    "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
    "  <xs:element name=\"r\"><xs:complexType><xs:sequence>\n"
    "    <xs:element name=\"n\" maxOccurs=\"unbounded\"><xs:complexType><xs:simpleContent>\n"
    "      <xs:extension base=\"small\"><xs:attribute name=\"unit\" type=\"xs:string\"/></xs:extension>\n"
    "    </xs:simpleContent></xs:complexType></xs:element>\n"
    "  </xs:sequence></xs:complexType></xs:element>\n"
    "  <xs:simpleType name=\"small\"><xs:restriction base=\"xs:int\">\n"
    "    <xs:maxInclusive value=\"9\"/>\n"
    "  </xs:restriction></xs:simpleType>\n"
    "</xs:schema>\n";

// The external schema answers the requests for schemas only, and validates under Auto as
// under Always. A document with a DTD, internal or external, is read and checked as without
// the option (the parser would check each element against one grammar only); one without a
// DTD meets the schema.
TEST_F(ParserSetupTest, TheExternalSchemaValidatesAndADocumentsDTDIsReadAsWithoutIt) {
    const std::wstring schema = dir.write(L"measures.xsd", kMeasuresSchema);
    dir.write(L"numbers.dtd", kNumbersDTD);
    const std::string external = "<!DOCTYPE r SYSTEM \"numbers.dtd\">\n";
    const std::string internal = std::string("<!DOCTYPE r [\n") + kNumbersDTD + "]>\n";
    struct Outcome {
        int result;
        int errorSeen;
        int fatalSeen;
    };
    auto outcome = [](int result) { return Outcome{result, countHandlers.errorSeen, countHandlers.fatalSeen}; };
    struct SchemaCase {
        const char* name;
        std::string xml;
        bool hasDTD;
        Outcome withSchema;
    };
    const SchemaCase cases[] = {
        {"valid, external DTD", external + "<r><n unit=\"m\">1</n></r>", true, {kLoaded, 0, 0}},
        {"valid, internal DTD", internal + "<r><n unit=\"m\">1</n></r>", true, {kLoaded, 0, 0}},
        {"breaks the external DTD", external + "<r><n>1</n></r>", true, {kLoaded, 1, 0}},
        {"breaks the internal DTD", internal + "<r><n>1</n></r>", true, {kLoaded, 1, 0}},
        {"meets its DTD, not the schema", external + "<r><n unit=\"m\">10</n></r>", true, {kLoaded, 0, 0}},
        {"no DTD, breaks the schema", "<r><n unit=\"m\">10</n></r>", false, {kLoaded, 1, 0}},
        {"no DTD, valid", "<r><n unit=\"m\">3</n></r>", false, {kLoaded, 0, 0}},
    };
    for (int32_t validation : {0, 2}) {
        for (const SchemaCase& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", SchemaValidation " << validation);
            useExternalSchema(schema);
            OptionSet::SchemaValidation = validation;
            const Outcome with = outcome(loadXml(leftTreeView, c.xml, dir));
            EXPECT_EQ(with.result, c.withSchema.result);
            EXPECT_EQ(with.errorSeen, c.withSchema.errorSeen);
            EXPECT_EQ(with.fatalSeen, c.withSchema.fatalSeen);
            EXPECT_NE(elementNamed(leftTreeView, L"n"), nullptr);
            if (!c.hasDTD) continue;
            OptionSet::UseExternalSchema = 0;
            const Outcome alone = outcome(loadXml(leftTreeView, c.xml, dir));
            EXPECT_EQ(with.result, alone.result) << "as without the option";
            EXPECT_EQ(with.errorSeen, alone.errorSeen) << "as without the option";
            EXPECT_EQ(with.fatalSeen, alone.fatalSeen) << "as without the option";
        }
    }
}

TEST_F(ParserSetupTest, ControlCharactersLoadOnlyWhileAllowed) {
    struct ControlCase {
        const char* xml;
        wchar_t control;
        int32_t allow;
        int result;
    };
    const ControlCase cases[] = {
        {"<?xml version=\"1.0\"?><r>a\x01z</r>", 0x01, 0, kLoadFailed},
        {"<?xml version=\"1.0\"?><r>a\x01z</r>", 0x01, 1, kLoaded},
        {"<?xml version=\"1.1\"?><r>a\x01z</r>", 0x01, 0, kLoadFailed},
        {"<?xml version=\"1.1\"?><r>a\x01z</r>", 0x01, 1, kLoaded},
        {"<?xml version=\"1.1\"?><r>a\x1Fz</r>", 0x1F, 1, kLoaded},
        {"<?xml version=\"1.0\"?><r>a\x1Fz</r>", 0x1F, 0, kLoadFailed},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.xml << " allowed " << c.allow);
        OptionSet::AllowNonPrintableChars = c.allow;
        EXPECT_EQ(loadXml(leftTreeView, c.xml, dir), c.result);
        if (c.result == kLoaded) {
            std::vector<XMLTreeItem*> records = recordsInOrder(leftTreeView);
            ASSERT_EQ(records.size(), 1u);
            ASSERT_EQ(records[0]->textLength, 3);
            EXPECT_EQ(records[0]->text[1], c.control);
        } else {
            EXPECT_EQ(countHandlers.fatalSeen, 1);
        }
    }
}

TEST_F(ParserSetupTest, SwitchingControlCharactersBackRestoresBothTables) {
    uint8_t* tables[2] = {xercesc::XMLChar1_0::getCharCharsTable(), xercesc::XMLChar1_1::getCharCharsTable()};
    OptionSet::AllowNonPrintableChars = 0;
    applyParserOptions();
    std::vector<uint8_t> before[2] = {std::vector<uint8_t>(tables[0], tables[0] + kTableUnits),
                                      std::vector<uint8_t>(tables[1], tables[1] + kTableUnits)};

    for (int round = 0; round < 2; ++round) {
        enableNonPrintableChars(true);
        enableNonPrintableChars(true);
        for (int t = 0; t < 2; ++t) {
            SCOPED_TRACE(t == 0 ? "XML 1.0" : "XML 1.1");
            for (size_t unit = 0; unit < kTableUnits; ++unit) {
                uint8_t expected = before[t][unit];
                if (unit >= 1 && unit < 32) expected |= 0x40;
                if (tables[t][unit] != expected) {
                    ADD_FAILURE() << "entry " << unit << " is " << int(tables[t][unit]) << ", not " << int(expected);
                    break;
                }
            }
        }
        enableNonPrintableChars(false);
        enableNonPrintableChars(false);
        EXPECT_EQ(std::memcmp(tables[0], before[0].data(), kTableUnits), 0);
        EXPECT_EQ(std::memcmp(tables[1], before[1].data(), kTableUnits), 0);
    }

    // The option takes the same road before each parse.
    OptionSet::AllowNonPrintableChars = 1;
    applyParserOptions();
    EXPECT_NE(tables[0][1] & 0x40, 0);
    EXPECT_NE(tables[1][0x1F] & 0x40, 0);
    OptionSet::AllowNonPrintableChars = 0;
    applyParserOptions();
    EXPECT_EQ(std::memcmp(tables[0], before[0].data(), kTableUnits), 0);
    EXPECT_EQ(std::memcmp(tables[1], before[1].data(), kTableUnits), 0);
}

}  // namespace
