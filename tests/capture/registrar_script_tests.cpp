// The registrar script reader: the add-in's own script, quoting, and text it refuses.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "capture/registrar_script.h"

using namespace quillon::capture;

namespace {

std::string ClipnetScript()
{
    std::ifstream in(QUILLON_CLIPNET_RGS, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const RegistrarKey *Find(const std::vector<RegistrarKey> &keys, const char *name)
{
    for (const RegistrarKey &key : keys)
        if (key.name == name)
            return &key;
    return nullptr;
}

TEST(RegistrarScript, ReadsTheAddInsScript)
{
    const std::string script = ExpandRegistrarScript(ClipnetScript(), {{"MODULE", "C:\\O'Neil\\clipnet.dll"}});
    std::vector<RegistrarTree> trees;
    std::string error;
    ASSERT_TRUE(ParseRegistrarScript(script, &trees, &error)) << error;
    ASSERT_EQ(trees.size(), 2u);
    EXPECT_EQ(trees[0].root, RegistrarRoot::kClassesRoot);
    ASSERT_EQ(trees[0].keys.size(), 3u);

    const RegistrarKey *progId = Find(trees[0].keys, "Clipnet.ClipObj.1");
    ASSERT_NE(progId, nullptr);
    EXPECT_EQ(progId->rule, KeyRule::kPlain);
    EXPECT_EQ(progId->defaultValue.text, "ClipObj Class");
    const RegistrarKey *independent = Find(trees[0].keys, "Clipnet.ClipObj");
    ASSERT_NE(independent, nullptr);
    ASSERT_NE(Find(independent->subkeys, "CurVer"), nullptr);
    EXPECT_EQ(Find(independent->subkeys, "CurVer")->defaultValue.text, "Clipnet.ClipObj.1");

    const RegistrarKey *clsidRoot = Find(trees[0].keys, "CLSID");
    ASSERT_NE(clsidRoot, nullptr);
    EXPECT_EQ(clsidRoot->rule, KeyRule::kNoRemove);
    const RegistrarKey *clsid = Find(clsidRoot->subkeys, "{7C3A92AD-2B6E-4F10-A5C8-3E0D9B41F627}");
    ASSERT_NE(clsid, nullptr);
    EXPECT_EQ(clsid->rule, KeyRule::kForceRemove);
    EXPECT_TRUE(clsid->hasDefault);
    const RegistrarKey *programmable = Find(clsid->subkeys, "Programmable");
    ASSERT_NE(programmable, nullptr);
    EXPECT_FALSE(programmable->hasDefault);
    const RegistrarKey *server = Find(clsid->subkeys, "InprocServer32");
    ASSERT_NE(server, nullptr);
    // The module path went through the quoting unharmed.
    EXPECT_EQ(server->defaultValue.text, "C:\\O'Neil\\clipnet.dll");
    ASSERT_EQ(server->values.size(), 1u);
    EXPECT_EQ(server->values[0].name, "ThreadingModel");
    EXPECT_EQ(server->values[0].text, "Apartment");
    ASSERT_NE(Find(clsid->subkeys, "TypeLib"), nullptr);
    EXPECT_EQ(Find(clsid->subkeys, "TypeLib")->defaultValue.text, "{7C3A92A0-2B6E-4F10-A5C8-3E0D9B41F627}");

    EXPECT_EQ(trees[1].root, RegistrarRoot::kLocalMachine);
    const std::vector<RegistrarKey> *level = &trees[1].keys;
    for (const char *name : {"SOFTWARE", "Microsoft", "Windows", "CurrentVersion", "Explorer", "Browser Helper Objects"}) {
        const RegistrarKey *key = Find(*level, name);
        ASSERT_NE(key, nullptr) << name;
        EXPECT_EQ(key->rule, KeyRule::kNoRemove) << name;
        level = &key->subkeys;
    }
    ASSERT_EQ(level->size(), 1u);
    EXPECT_EQ((*level)[0].name, "{7C3A92AD-2B6E-4F10-A5C8-3E0D9B41F627}");
    EXPECT_EQ((*level)[0].rule, KeyRule::kForceRemove);
}

TEST(RegistrarScript, RulesNumbersAndWordsThatAreNames)
{
    std::vector<RegistrarTree> trees;
    std::string error;
    ASSERT_TRUE(ParseRegistrarScript("HKEY_CURRENT_USER { Delete Old NoRemove = s 'x' val { val v = d 42 "
                                     "val 'w x' = d '7' } ForceRemove val }",
                                     &trees, &error))
        << error;
    ASSERT_EQ(trees.size(), 1u);
    const auto &keys = trees[0].keys;
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].rule, KeyRule::kDelete);
    EXPECT_EQ(keys[0].name, "Old");
    EXPECT_EQ(keys[1].name, "NoRemove"); // a rule word followed by "=" is the key's name
    EXPECT_EQ(keys[1].rule, KeyRule::kPlain);
    EXPECT_EQ(keys[2].name, "val");
    ASSERT_EQ(keys[2].values.size(), 2u);
    EXPECT_TRUE(keys[2].values[0].isNumber);
    EXPECT_EQ(keys[2].values[0].number, 42u);
    EXPECT_EQ(keys[2].values[1].name, "w x");
    EXPECT_EQ(keys[2].values[1].number, 7u);
    EXPECT_EQ(keys[3].name, "val");
    EXPECT_EQ(keys[3].rule, KeyRule::kForceRemove);
}

TEST(RegistrarScript, RefusesTextOutsideTheGrammar)
{
    std::string deep = "HKCR {";
    for (int i = 0; i < 40; ++i)
        deep += " k {";
    for (int i = 0; i < 41; ++i)
        deep += " }";
    const char *const bad[] = {
        "HKXX { a }",                  // unknown root
        "HKCR { a = s 'open }",        // unterminated text
        "HKCR { a = x 'y' }",          // unknown value type
        "HKCR { a = d 99999999999 }",  // number too large
        "HKCR { a = d 'x1' }",         // not a number
        "HKCR { a { b }",              // unbalanced
        "HKCR { '' }",                 // empty name
        "HKCR a",                      // no block
        "HKCR { a } }",                // stray brace
    };
    for (const char *text : bad) {
        std::vector<RegistrarTree> trees;
        std::string error;
        EXPECT_FALSE(ParseRegistrarScript(text, &trees, &error)) << text;
        EXPECT_TRUE(trees.empty()) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    std::vector<RegistrarTree> trees;
    EXPECT_FALSE(ParseRegistrarScript(deep, &trees, nullptr));
}

TEST(RegistrarScript, ExpandsReplacementsOnly)
{
    EXPECT_EQ(ExpandRegistrarScript("'%MODULE%' 100%% %OTHER% 50%", {{"MODULE", "a'b"}}), "'a''b' 100% %OTHER% 50%");
    EXPECT_EQ(ExpandRegistrarScript("%module%", {{"MODULE", "x"}}), "x");
}

} // namespace
