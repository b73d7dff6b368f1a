#include <gtest/gtest.h>

#include "ui/EntityTable.h"

namespace {

int lengthOf(const EntityTable& table, const wchar_t* name) {
    int32_t hash;
    uint32_t packed;
    EntityTable::keys(name, &hash, &packed);
    return EntityTable::lookup(&table, hash, packed);
}

TEST(EntityTable, PredefinedEntitiesAndDeclarations) {
    EntityTable table;
    table.seedPredefined();
    for (const wchar_t* name : {L"amp", L"lt", L"gt", L"quot", L"apos"})
        EXPECT_EQ(lengthOf(table, name), 1);
    EXPECT_EQ(lengthOf(table, L"nbsp"), 0);
    EntityTable::add(&table, L"company", L"Twelve chars");
    EXPECT_EQ(lengthOf(table, L"company"), 12);
    EntityTable::add(&table, L"company", L"abc");  // declared again: the last one wins
    EXPECT_EQ(lengthOf(table, L"company"), 3);
    EntityTable::add(&table, L"none", nullptr);
    EXPECT_EQ(lengthOf(table, L"none"), 1);
    EntityTable::add(&table, L"empty", L"");  // replaced by nothing
    EXPECT_EQ(lengthOf(table, L"empty"), 0);
    table.seedPredefined();
    EXPECT_EQ(lengthOf(table, L"company"), 0);
    EXPECT_EQ(lengthOf(table, L"amp"), 1);
}

TEST(EntityTable, KeysTellNamesApartByHashAndLastCharacters) {
    int32_t h1, h2;
    uint32_t p1, p2;
    EntityTable::keys(L"xxabcd", &h1, &p1);
    EntityTable::keys(L"yyabcd", &h2, &p2);
    EXPECT_EQ(p1, p2);  // only the last four characters are packed
    EXPECT_NE(h1, h2);
    EXPECT_EQ(EntityTable::add(nullptr, L"xxabcd", nullptr), static_cast<int>(static_cast<uint32_t>(h1) & 63));
    EntityTable table;
    EntityTable::add(&table, L"xxabcd", L"12345");
    EXPECT_EQ(lengthOf(table, L"xxabcd"), 5);
    EXPECT_EQ(lengthOf(table, L"yyabcd"), 0);
}

}  // namespace
