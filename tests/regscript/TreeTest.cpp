// The list container and the key tree: order of insertion, lookup by path, and the hash index
// giving the same key as the walk with lstrcmpiA.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "regscript/IniFile.h"
#include "tests/regscript/IniFileAccess.h"

namespace {

// Counts destructions, to see what the list does not delete.
struct CCounted {
    explicit CCounted(int* pnDeleted) : m_pnDeleted(pnDeleted) {}
    virtual ~CCounted() { ++*m_pnDeleted; }
    int* m_pnDeleted;
};

TEST(PubList, FrontInsertionReversesTheOrderAndPositionsAreChecked) {
    int a = 1, b = 2, c = 3, d = 4;
    CPubList<int*> list;
    EXPECT_EQ(nullptr, list.GetAt(0)) << "an empty list yields null";
    EXPECT_EQ(1, list.InsertAt(&a, 0));
    EXPECT_EQ(1, list.InsertAt(&b, 0));
    EXPECT_EQ(1, list.InsertAt(&c, 0));
    ASSERT_EQ(3, list.GetCount());
    EXPECT_EQ(&c, list.GetAt(0));
    EXPECT_EQ(&b, list.GetAt(1));
    EXPECT_EQ(&a, list.GetAt(2));

    EXPECT_EQ(0, list.InsertAt(&d, 4)) << "count + 1";
    EXPECT_EQ(0, list.InsertAt(&d, -1));
    EXPECT_EQ(3, list.GetCount());
    EXPECT_EQ(1, list.InsertAt(&d, 3)) << "position equal to the count places it last";
    EXPECT_EQ(&d, list.GetAt(3));
    EXPECT_EQ(1, list.InsertAt(&d, 2));
    EXPECT_EQ(&d, list.GetAt(2));
    EXPECT_EQ(&a, list.GetAt(3));

    EXPECT_EQ(0, list.RemoveAt(5)) << "position equal to the count";
    EXPECT_EQ(0, list.RemoveAt(-1));
    EXPECT_EQ(1, list.RemoveAt(2));
    EXPECT_EQ(1, list.RemoveAt(3));
    ASSERT_EQ(3, list.GetCount());
    EXPECT_EQ(&c, list.GetAt(0));
    EXPECT_EQ(&b, list.GetAt(1));
    EXPECT_EQ(&a, list.GetAt(2));

    CPubList<int*>::tagNode* pNode = nullptr;
    EXPECT_EQ(1, list.FindNode(2, &pNode));
    EXPECT_EQ(&a, pNode->item);
    EXPECT_EQ(0, list.FindNode(3, &pNode));
    EXPECT_EQ(nullptr, pNode) << "a walk past the last node reaches null";
}

TEST(PubList, NeitherRemovalNorDestructionDeletesTheObjects) {
    int nDeleted = 0;
    CCounted one(&nDeleted), two(&nDeleted);
    {
        CPubList<CCounted*> list;
        list.InsertAt(&one, 0);
        EXPECT_EQ(1, list.RemoveAt(0));
        EXPECT_EQ(0, list.GetCount());
        EXPECT_EQ(nullptr, list.GetHead());
        list.InsertAt(&two, 0);
    }
    EXPECT_EQ(0, nDeleted);
}

// --- The key tree ---

std::vector<std::string> SubKeyNames(const CIniKey& key) {
    std::vector<std::string> names;
    for (int i = 0; i < key.GetCount(CIniKey::SUB_KEYS); ++i)
        names.push_back(key.GetSubKey(i)->GetName());
    return names;
}

CIniKey* Open(CIniFile& file, const std::string& line) {
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    return file.OpenKeyPath(buffer.data());
}

const std::vector<std::string> FIXED_ROOTS = {"HKEY_CURRENT_CONFIG", "HKEY_USERS",
                                              "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
                                              "HKEY_CLASSES_ROOT"};

TEST(KeyTree, NewFileHasTheFiveRootsInFixedOrder) {
    CIniFile file;
    EXPECT_STREQ("My Computer", CIniFileTestAccess::Root(file).GetName());
    EXPECT_EQ(FIXED_ROOTS, SubKeyNames(CIniFileTestAccess::Root(file)));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(0, CIniFileTestAccess::Root(file).GetSubKey(i)->GetCount(CIniKey::SUB_KEYS));
        EXPECT_EQ(0, CIniFileTestAccess::Root(file).GetSubKey(i)->GetCount(CIniKey::VALUES));
    }
}

TEST(KeyTree, OpenKeyPathFindsAndCreatesKeys) {
    CIniFile file;
    CIniKey* pMachine = CIniFileTestAccess::Root(file).GetSubKey(2);
    EXPECT_EQ(pMachine, Open(file, "[HKEY_LOCAL_MACHINE]"));
    EXPECT_EQ(pMachine, Open(file, "[hkey_local_machine]"));
    EXPECT_EQ(5, CIniFileTestAccess::Root(file).GetCount(CIniKey::SUB_KEYS))
        << "a root name creates nothing";

    CIniKey* pA = Open(file, "[HKEY_LOCAL_MACHINE\\Software\\A]");
    ASSERT_NE(nullptr, pA);
    EXPECT_EQ(pA, Open(file, "[hkey_local_machine\\SOFTWARE\\a]"));
    EXPECT_EQ(pA, Open(file, "[HKEY_LOCAL_MACHINE\\\\Software\\\\\\A]")) << "doubled backslashes";
    EXPECT_EQ(pA, Open(file, "[[HKEY_LOCAL_MACHINE]Software[A]]"));
    ASSERT_EQ(1, pMachine->GetCount(CIniKey::SUB_KEYS));
    EXPECT_STREQ("Software", pMachine->GetSubKey(0)->GetName()) << "first spelling is kept";
    EXPECT_STREQ("A", pA->GetName());

    CIniKey* pB = Open(file, "[HKEY_LOCAL_MACHINE\\Software\\B]");
    EXPECT_EQ((std::vector<std::string>{"B", "A"}), SubKeyNames(*pMachine->GetSubKey(0)));
    EXPECT_NE(pA, pB);
}

TEST(KeyTree, UnknownFirstComponentGetsARootOfItsOwn) {
    CIniFile file;
    CIniKey* pKey = Open(file, "[HKLM\\Software\\A]");
    ASSERT_NE(nullptr, pKey);
    ASSERT_EQ(6, CIniFileTestAccess::Root(file).GetCount(CIniKey::SUB_KEYS));
    EXPECT_STREQ("HKLM", CIniFileTestAccess::Root(file).GetSubKey(0)->GetName());
    EXPECT_EQ(pKey, Open(file, "[hklm\\software\\a]"));
    EXPECT_EQ(6, CIniFileTestAccess::Root(file).GetCount(CIniKey::SUB_KEYS));
    EXPECT_EQ(nullptr, Open(file, "[\\\\]")) << "no component, no key";
}

TEST(KeyTree, ClearedTreeGetsItsRootsBackOnTheNextLookup) {
    CIniFile file;
    Open(file, "[HKEY_USERS\\X]");
    file.Clear();
    EXPECT_EQ(0, CIniFileTestAccess::Root(file).GetCount(CIniKey::SUB_KEYS));
    CIniKey* pKey = Open(file, "[HKEY_CURRENT_USER\\Y]");
    ASSERT_NE(nullptr, pKey);
    EXPECT_EQ(FIXED_ROOTS, SubKeyNames(CIniFileTestAccess::Root(file)));
    EXPECT_EQ(0, CIniFileTestAccess::Root(file).GetSubKey(1)->GetCount(CIniKey::SUB_KEYS))
        << "HKEY_USERS\\X went with the clear";
}

TEST(KeyTree, LongNamesAreKeptWhole) {
    CIniFile file;
    const std::string longName(5000, 'n');
    CIniKey* pKey = Open(file, "[HKEY_CURRENT_USER\\" + longName + "]");
    ASSERT_NE(nullptr, pKey);
    EXPECT_EQ(longName, pKey->GetName());
    EXPECT_EQ(pKey, Open(file, "[HKEY_CURRENT_USER\\" + longName + "]"));
    CIniValue value(std::string(300, 'v').c_str(), "text", 4);
    EXPECT_EQ(std::string(300, 'v'), value.GetName());
    EXPECT_STREQ("text", value.GetData());
}

TEST(KeyTree, DeepTreeIsTakenApartWithoutRecursion) {
    // 200,000 levels: a recursive destructor or writer would run out of stack.
    std::string line = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 200000; ++i)
        line += "\\k";
    line += "]";
    std::string text = line + "\nvalue=1\n";
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    auto file = std::make_unique<CIniFile>();
    ASSERT_EQ(1, file->LoadText(buffer.data(), text.size()));
    size_t cbWritten = 0;
    tagTextSink sink = {&cbWritten, [](void* p, const char*, size_t cb) {
                            *static_cast<size_t*>(p) += cb;
                            return 1;
                        }};
    EXPECT_EQ(1, file->WriteTree(sink));
    EXPECT_EQ(2 + line.size() + 2 + 7 + 2, cbWritten);
    file.reset();
}

// --- The hash index against the walk ---

// The first sub-key in position order that lstrcmpiA finds equal: what the lookup must give.
CIniKey* WalkFind(const CIniKey& parent, const std::string& name) {
    for (int i = 0; i < parent.GetCount(CIniKey::SUB_KEYS); ++i) {
        CIniKey* pKey = parent.GetSubKey(i);
        if (pKey != nullptr && lstrcmpiA(name.c_str(), pKey->GetName()) == 0)
            return pKey;
    }
    return nullptr;
}

// Pieces of names that lstrcmpiA in the code page 1252 treats specially: letter case,
// accented letters, the sharp s and "ss", ligatures and their letters, the soft hyphen that is
// ignored, hyphens and apostrophes that only count late, and letters above 0x80.
const char* const CONFUSABLE[] = {
    "a",  "A",    "\xE0", "\xC0", "e",    "\xE9", "\xC9", "ss",   "SS",   "sS", "\xDF", "ae",
    "AE", "\xE6", "\xC6", "oe",   "\x9C", "\x8C", "s",    "\x9A", "\x8A", "y",  "\xFF", "\x9F",
    "-",  "'",    "\xAD", "k",    "K",    "1",    "th",   "\xFE", "{",    "_",  " ",    "."};

std::string RandomName(std::mt19937& random) {
    std::string name;
    const int nPieces = 1 + random() % 4;
    for (int i = 0; i < nPieces; ++i)
        name += CONFUSABLE[random() % (sizeof(CONFUSABLE) / sizeof(CONFUSABLE[0]))];
    return name;
}

TEST(KeyIndex, LookupGivesTheKeyOfTheWalkForEverySiblingCount) {
    // The random names hold code page 1252 letters that the comparison finds equal where a byte
    // case fold does not: the index must hold up against them.
    ASSERT_EQ(1252u, GetACP());
    ASSERT_EQ(0, lstrcmpiA("Stra\xDF"
                           "e",
                           "STRASSE"));
    ASSERT_EQ(0, lstrcmpiA("\xC6ther", "aether"));
    ASSERT_EQ(0, lstrcmpiA("ab\xAD"
                           "c",
                           "ABC"));
    const tagTextPlatform& platform = GetWindowsTextPlatform();
    std::mt19937 random(20240501);
    int nFoundWithOtherBytes = 0;
    int nMisses = 0;
    // The second round runs once enough names have been hashed that names of printable ASCII
    // are hashed from a table of character weights instead of their own sort keys: names that
    // lstrcmpiA finds equal must hash alike whichever way each was hashed.
    for (int nRound = 0; nRound < 2; ++nRound) {
        for (int i = 0; nRound == 1 && i < 10000; ++i) {
            unsigned nHash = 0;
            ASSERT_EQ(1, platform.pfnNameHash(platform.pContext, "warm-up", &nHash));
        }
        for (int nSiblings : {3, 8, 9, 60, 2000}) {
            CIniKey parent("parent");
            for (int i = 0; i < nSiblings; ++i) {
                // Duplicates of one class are added too (a script can only make one per class,
                // but the lookup must still give the first in position order).
                CIniKey* pKey = CIniKey::Create(RandomName(random).c_str(), parent.GetStore());
                // Mostly to the front as the reader does; now and then elsewhere, and now and then
                // one removed, so the index is rebuilt.
                const int nPosition =
                    (random() % 10 == 0) ? random() % (parent.GetCount(CIniKey::SUB_KEYS) + 1) : 0;
                ASSERT_EQ(1, parent.AddSubKey(pKey, nPosition));
                if (random() % 25 == 0 && parent.GetCount(CIniKey::SUB_KEYS) > 1)
                    parent.RemoveSubKey(random() % parent.GetCount(CIniKey::SUB_KEYS));
                // Lookups between insertions use the index as it is kept up to date (for a long
                // list not after every insertion: the walk that checks it costs too much).
                const int nQueries =
                    (parent.GetCount(CIniKey::SUB_KEYS) < 100 || i % 25 == 0) ? 4 : 0;
                for (int q = 0; q < nQueries; ++q) {
                    const std::string query = RandomName(random);
                    CIniKey* pExpected = WalkFind(parent, query);
                    const int nBefore = parent.GetCount(CIniKey::SUB_KEYS);
                    // A miss adds a key in front: nothing found, the count one up.
                    CIniKey* pFound = parent.OpenSubKey(query.c_str(), platform);
                    ASSERT_EQ(pExpected != nullptr ? pExpected : parent.GetSubKey(0), pFound)
                        << query << " among " << nBefore;
                    ASSERT_EQ(nBefore + (pExpected == nullptr), parent.GetCount(CIniKey::SUB_KEYS));
                    if (pExpected == nullptr)
                        ++nMisses;
                    else if (query != pExpected->GetName())
                        ++nFoundWithOtherBytes;
                }
            }
        }
    }
    EXPECT_GT(nFoundWithOtherBytes, 200) << "equal names with other bytes were looked up";
    EXPECT_GT(nMisses, 100);
}

TEST(KeyIndex, SectionLinesBuildTheTreeTheWalkWouldBuild) {
    // A model of the reader's lookup: siblings newest first, the first lstrcmpiA-equal one
    // taken, a new one put in front. The product's tree must come out the same.
    std::mt19937 random(7);
    CIniFile file;
    std::vector<std::pair<std::string, std::vector<int>>> model; // name, value numbers
    std::string text = "REGEDIT4\n";
    for (int i = 0; i < 3000; ++i) {
        const std::string name = RandomName(random) + RandomName(random);
        text += "[HKEY_LOCAL_MACHINE\\Parent\\" + name + "]\nvalue=" + std::to_string(i) + "\n";
        size_t j = 0;
        while (j < model.size() && lstrcmpiA(model[j].first.c_str(), name.c_str()) != 0)
            ++j;
        if (j == model.size())
            model.insert(model.begin(), {name, {}}), j = 0;
        model[j].second.insert(model[j].second.begin(), i);
    }
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    ASSERT_EQ(3000, file.LoadText(buffer.data(), text.size()));

    CIniKey* pParent = CIniFileTestAccess::Root(file).GetSubKey(2)->GetSubKey(0);
    ASSERT_NE(nullptr, pParent);
    ASSERT_EQ(static_cast<int>(model.size()), pParent->GetCount(CIniKey::SUB_KEYS));
    ASSERT_GT(model.size(), 100u);
    int nPosition = 0;
    for (const tagPubListNode<CIniKey*>* pNode = pParent->SubKeys().GetHead(); pNode != nullptr;
         pNode = pNode->pNext, ++nPosition) {
        const auto& expected = model[nPosition];
        ASSERT_EQ(expected.first, pNode->item->GetName()) << "position " << nPosition;
        ASSERT_EQ(static_cast<int>(expected.second.size()), pNode->item->GetCount(CIniKey::VALUES));
        int nValue = 0;
        for (const tagPubListNode<CIniValue*>* pValue = pNode->item->Values().GetHead();
             pValue != nullptr; pValue = pValue->pNext, ++nValue)
            ASSERT_EQ(std::to_string(expected.second[nValue]), pValue->item->GetData());
    }
}

} // namespace
