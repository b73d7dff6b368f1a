#include "model/NameDictionary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "model/TextServices.h"
#include "settings/OptionSet.h"

namespace {

// Distinct names that land in one bucket under the given case rule.
std::vector<std::wstring> namesInBucket(uint32_t bucket, size_t count, int caseSensitive) {
    std::vector<std::wstring> names;
    for (int i = 0; names.size() < count; ++i) {
        std::wstring name = L"name" + std::to_wstring(i);
        if ((hashName(name.c_str(), caseSensitive) & 0xFF) == bucket) {
            names.push_back(name);
        }
    }
    return names;
}

std::wstring upper(std::wstring text) {
    for (wchar_t& unit : text) {
        unit = toUpperChar(unit);
    }
    return text;
}

class NameDictionaryTest : public ::testing::Test {
protected:
    void SetUp() override { savedCaseSensitive_ = OptionSet::XMLElementCaseSensitive; }
    void TearDown() override { OptionSet::XMLElementCaseSensitive = savedCaseSensitive_; }

    void setElementCaseSensitive(int on) { OptionSet::XMLElementCaseSensitive = on; }

    NameDictionary dict_{1};

private:
    int32_t savedCaseSensitive_ = 1;
};

TEST_F(NameDictionaryTest, CaseVariantsShareOneIdWhileNotCaseSensitive) {
    setElementCaseSensitive(0);
    bool created = false;
    HashItem* first = dict_.lookupName(L"Item", &created);
    EXPECT_TRUE(created);
    HashItem* second = dict_.lookupName(L"ITEM", &created);
    EXPECT_TRUE(created);
    HashItem* third = dict_.lookupName(L"Item", &created);
    EXPECT_FALSE(created);

    EXPECT_NE(first, second);
    EXPECT_EQ(first, third);
    EXPECT_EQ(first->nameId, second->nameId);
    EXPECT_EQ(std::wstring(L"Item"), first->text);
    EXPECT_EQ(std::wstring(L"ITEM"), second->text);
    EXPECT_EQ(dict_.lookupName(L"ITEM"), second);
}

TEST_F(NameDictionaryTest, CaseVariantsDifferWhileCaseSensitive) {
    setElementCaseSensitive(1);
    HashItem* first = dict_.lookupName(L"Item");
    HashItem* second = dict_.lookupName(L"ITEM");
    EXPECT_NE(first->nameId, second->nameId);
    EXPECT_EQ(static_cast<int32_t>(hashName(L"Item", 1) & 0xFF), first->nameId & 0xFF);
    EXPECT_EQ(static_cast<int32_t>(hashName(L"ITEM", 1) & 0xFF), second->nameId & 0xFF);
    EXPECT_EQ(first, dict_.lookupName(L"Item"));
    EXPECT_EQ(static_cast<int32_t>(hashName(L"Item", 1)), first->hash);
}

TEST_F(NameDictionaryTest, IdsAreTheBucketPlusMultiplesOf256) {
    setElementCaseSensitive(1);
    for (uint32_t bucket : {0u, 7u, 255u}) {
        const std::vector<std::wstring> names = namesInBucket(bucket, 3, 1);
        std::vector<HashItem*> entries;
        for (const std::wstring& name : names) {
            entries.push_back(dict_.lookupName(name.c_str()));
        }
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(static_cast<int32_t>(bucket + 256 * i), entries[i]->nameId) << names[i];
            bool created = true;
            EXPECT_EQ(entries[i], dict_.lookupName(names[i].c_str(), &created)) << names[i];
            EXPECT_FALSE(created);
        }
    }
}

TEST_F(NameDictionaryTest, VariantInsideAChainKeepsIdsUnique) {
    setElementCaseSensitive(0);
    const std::vector<std::wstring> names = namesInBucket(42, 3, 0);
    HashItem* a = dict_.lookupName(names[0].c_str());
    HashItem* b = dict_.lookupName(names[1].c_str());
    // The variant is inserted beside its name, not at the chain's end, where the next new name would reuse b's id.
    HashItem* aUpper = dict_.lookupName(upper(names[0]).c_str());
    HashItem* c = dict_.lookupName(names[2].c_str());

    EXPECT_EQ(42, a->nameId);
    EXPECT_EQ(42 + 256, b->nameId);
    EXPECT_EQ(a->nameId, aUpper->nameId);
    EXPECT_EQ(42 + 512, c->nameId);
    EXPECT_EQ(aUpper, a->next);

    // A third spelling joins the group; each spelling is found again past the others.
    std::wstring mixed = names[0];
    mixed[0] = toUpperChar(mixed[0]);
    HashItem* aMixed = dict_.lookupName(mixed.c_str());
    EXPECT_NE(aMixed, a);
    EXPECT_NE(aMixed, aUpper);
    EXPECT_EQ(a->nameId, aMixed->nameId);
    EXPECT_EQ(a, dict_.lookupName(names[0].c_str()));
    EXPECT_EQ(aUpper, dict_.lookupName(upper(names[0]).c_str()));
    EXPECT_EQ(aMixed, dict_.lookupName(mixed.c_str()));
    EXPECT_EQ(b, dict_.lookupName(names[1].c_str()));
    EXPECT_EQ(42 + 768, dict_.lookupName(namesInBucket(42, 4, 0)[3].c_str())->nameId);
}

TEST_F(NameDictionaryTest, CreatedFlagIsClearedFirst) {
    bool created = true;
    dict_.lookup(L"root", &created);
    EXPECT_TRUE(created);
    created = true;
    dict_.lookup(L"root", &created);
    EXPECT_FALSE(created);
    EXPECT_NE(nullptr, dict_.lookup(L"child"));
}

TEST_F(NameDictionaryTest, MissingTextIsTheEmptyName) {
    HashItem* missing = dict_.lookupName(nullptr);
    EXPECT_EQ(missing, dict_.lookupName(L""));
    EXPECT_EQ(std::wstring(), missing->text);
    EXPECT_EQ(0, missing->length);
    EXPECT_EQ(0, missing->nameId);
}

TEST_F(NameDictionaryTest, PlainModeMatchesExactlyWithoutIds) {
    setElementCaseSensitive(0);
    auto plain = std::make_unique<NameDictionary>(0);
    EXPECT_TRUE(plain->caseSensitive());
    HashString* first = plain->lookup(L"Item");
    HashString* second = plain->lookup(L"ITEM");
    EXPECT_NE(first, second);
    EXPECT_EQ(first, plain->lookup(L"Item"));
    EXPECT_EQ(nullptr, dynamic_cast<HashItem*>(first));
    EXPECT_EQ(static_cast<int32_t>(hashName(L"ITEM", 1)), second->hash);

    // Same bucket, different texts: the chain grows at its end.
    const std::vector<std::wstring> names = namesInBucket(9, 2, 1);
    HashString* x = plain->lookup(names[0].c_str());
    HashString* y = plain->lookup(names[1].c_str());
    EXPECT_EQ(y, x->next);
    EXPECT_EQ(x, plain->lookup(names[0].c_str()));
}

TEST_F(NameDictionaryTest, NamingModeFollowsTheElementOption) {
    setElementCaseSensitive(0);
    EXPECT_FALSE(dict_.caseSensitive());
    EXPECT_FALSE(nameDictionary.caseSensitive());
    setElementCaseSensitive(1);
    EXPECT_TRUE(dict_.caseSensitive());
    EXPECT_EQ(1, nameDictionary.mode());
}

TEST_F(NameDictionaryTest, TextsSurviveAcrossPoolBlocks) {
    // Long names around the block size, each between runs of short names that fill the current block.
    const size_t longLengths[] = {4094, 4095, 4096, 4097, 10000, 70000};
    std::vector<std::wstring> names;
    for (size_t length : longLengths) {
        for (int i = 0; i < 700; ++i) {
            names.push_back(L"n" + std::to_wstring(names.size()));
        }
        names.push_back(std::wstring(length, static_cast<wchar_t>(L'a' + names.size() % 26)) + L"z");
    }
    std::vector<HashString*> entries;
    for (const std::wstring& name : names) {
        entries.push_back(dict_.lookup(name.c_str()));
    }
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(names[i], entries[i]->text) << "name " << i << " of length " << names[i].size();
        if (names[i].size() < 0xFFFF) {
            EXPECT_EQ(names[i].size(), entries[i]->length);
        }
        EXPECT_EQ(entries[i], dict_.lookup(names[i].c_str()));
    }
}

TEST_F(NameDictionaryTest, AllocTextKeepsShortRequestsTogether) {
    wchar_t* a = dict_.allocText(10);
    wchar_t* b = dict_.allocText(20);
    EXPECT_EQ(a + 10, b);
    // A request too long for any block does not retire the current one.
    wchar_t* huge = dict_.allocText(NameDictionary::kPoolBlockUnits + 5);
    wchar_t* c = dict_.allocText(30);
    EXPECT_EQ(b + 20, c);
    std::fill(huge, huge + NameDictionary::kPoolBlockUnits + 5, L'h');
    std::fill(c, c + 30, L'c');
    // The rest of the block cannot hold this one; it starts a new block.
    wchar_t* d = dict_.allocText(NameDictionary::kPoolBlockUnits - 60);
    EXPECT_NE(c + 30, d);
    std::fill(d, d + NameDictionary::kPoolBlockUnits - 60, L'd');
    EXPECT_TRUE(std::all_of(c, c + 30, [](wchar_t unit) { return unit == L'c'; }));
    EXPECT_TRUE(std::all_of(huge, huge + NameDictionary::kPoolBlockUnits + 5, [](wchar_t u) { return u == L'h'; }));
}

TEST_F(NameDictionaryTest, ClearStartsOver) {
    setElementCaseSensitive(1);
    const std::vector<std::wstring> names = namesInBucket(3, 2, 1);
    dict_.lookup(names[0].c_str());
    dict_.lookup(names[1].c_str());
    for (int i = 0; i < 3000; ++i) {
        dict_.lookup((L"filler" + std::to_wstring(i)).c_str());
    }
    dict_.clear();
    bool created = false;
    HashItem* again = dict_.lookupName(names[1].c_str(), &created);
    EXPECT_TRUE(created);
    EXPECT_EQ(3, again->nameId);
    EXPECT_EQ(names[1], again->text);
}

}  // namespace
