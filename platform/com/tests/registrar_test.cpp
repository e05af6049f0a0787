#include <com/registrar.h>
#include <gtest/gtest.h>

using com::Registry;
using com::RegValue;

namespace {

constexpr char kScript[] = R"(HKCR
{
    Proj.Thing.1 = s 'Thing Class'
    {
        CLSID = s '{C}'
    }
    NoRemove CLSID
    {
        ForceRemove {C} = s 'Thing Class'
        {
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Apartment'
            }
            ForceRemove 'Programmable'
            'MiscStatus' = s '0'
            {
                '1' = s '132497'
            }
            Flags = d '0x10'
            Delete Obsolete
        }
    }
}
)";

const com::Replacements kModule{{"MODULE", "/opt/it's here/libProj.so"}};

TEST(Registrar, AppliesKeysValuesAndTheModulePath) {
    Registry r;
    r.createKey("HKCR\\CLSID\\{C}\\Obsolete\\Deep");
    r.createKey("HKCR\\CLSID\\{C}\\Stale");  // replaced whole by ForceRemove
    std::string why;
    ASSERT_EQ(com::applyScript(r, kScript, kModule, &why), com::S_OK) << why;
    EXPECT_EQ(r.text("HKCR\\Proj.Thing.1"), "Thing Class");
    EXPECT_EQ(r.text("HKCR\\Proj.Thing.1\\CLSID"), "{C}");
    EXPECT_EQ(r.text("HKCR\\CLSID\\{C}\\InprocServer32"), "/opt/it's here/libProj.so");
    EXPECT_EQ(r.text("HKCR\\CLSID\\{C}\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_TRUE(r.hasKey("HKCR\\CLSID\\{C}\\Programmable"));
    EXPECT_TRUE(r.valueNames("HKCR\\CLSID\\{C}\\Programmable").empty());
    EXPECT_EQ(r.text("HKCR\\CLSID\\{C}\\MiscStatus\\1"), "132497");
    EXPECT_EQ(r.value("HKCR\\CLSID\\{C}\\Flags"), RegValue::number(16));
    EXPECT_FALSE(r.hasKey("HKCR\\CLSID\\{C}\\Obsolete"));
    EXPECT_FALSE(r.hasKey("HKCR\\CLSID\\{C}\\Stale"));
}

TEST(Registrar, RemovalKeepsNoRemoveKeysAndWhatOthersAdded) {
    Registry r;
    r.setValue("HKCR\\CLSID\\{Other}", "", RegValue::string("another class"));
    r.setValue("HKCR\\Proj.Thing.1", "Note", RegValue::string("not the script's"));
    ASSERT_EQ(com::applyScript(r, kScript, kModule), com::S_OK);
    ASSERT_EQ(com::removeScript(r, kScript, kModule), com::S_OK);
    EXPECT_FALSE(r.hasKey("HKCR\\CLSID\\{C}"));
    EXPECT_TRUE(r.hasKey("HKCR\\CLSID"));
    EXPECT_TRUE(r.hasKey("HKCR\\CLSID\\{Other}"));
    // The ProgID key lost the script's value and subkey, and stays for the foreign value.
    EXPECT_FALSE(r.hasKey("HKCR\\Proj.Thing.1\\CLSID"));
    EXPECT_FALSE(r.value("HKCR\\Proj.Thing.1").has_value());
    EXPECT_EQ(r.text("HKCR\\Proj.Thing.1", "Note"), "not the script's");
    // Removing again is harmless.
    EXPECT_EQ(com::removeScript(r, kScript, kModule), com::S_OK);
}

TEST(Registrar, RemovalOfAnEmptyRegistryLeavesCLSIDAbsent) {
    Registry r;
    ASSERT_EQ(com::applyScript(r, kScript, kModule), com::S_OK);
    ASSERT_EQ(com::removeScript(r, kScript, kModule), com::S_OK);
    EXPECT_FALSE(r.hasKey("HKCR\\Proj.Thing.1"));
    EXPECT_TRUE(r.hasKey("HKCR\\CLSID"));  // never removed itself
}

TEST(Registrar, ApostrophesInReplacementsAreDoubled) {
    std::string out;
    ASSERT_TRUE(com::expandScript("a '%MODULE%' %% b", kModule, out, nullptr));
    EXPECT_EQ(out, "a '/opt/it''s here/libProj.so' % b");
}

TEST(Registrar, BadScriptsChangeNothingAndSayWhere) {
    struct Case {
        const char* script;
        const char* reason;
    } cases[] = {
        {"HKCR\n{\n  A = s 'x'\n", "line 4: '}' missing"},
        {"HKXX\n{\n}\n", "line 1: unknown root key"},
        {"HKCR\n{\n  A = q 'x'\n}\n", "line 3: a value type"},
        {"HKCR\n{\n  A = s x\n}\n", "line 3: a quoted value"},
        {"HKCR\n{\n  A = d '12z'\n}\n", "line 3: '12z' is not a 32-bit number"},
        {"HKCR\n{\n  A = d '0x100000000'\n}\n", "line 3: '0x100000000' is not"},
        {"HKCR\n{\n  val V = s 'x'\n}\n", "line 3: a named value outside"},
        {"HKCR\n{\n  'A\\B' = s 'x'\n}\n", "line 3: a key name may be"},
        {"HKCR\n{\n  A = s 'open\n}\n", "line 3: unterminated"},
        {"HKCR\n{\n  A = s '%NOPE%'\n}\n", "line 3: no value for %NOPE%"},
        {"HKCR\n{\n  A = s '%MODULE'\n}\n", "line 3: unclosed %"},
    };
    for (const Case& c : cases) {
        Registry r;
        r.createKey("HKCR\\kept");
        const std::string before = r.print();
        std::string why;
        EXPECT_EQ(com::applyScript(r, c.script, kModule, &why), com::SELFREG_E_CLASS) << c.script;
        EXPECT_EQ(why.rfind(c.reason, 0), 0u) << c.script << " gave " << why;
        EXPECT_EQ(r.print(), before);
    }
}

}  // namespace
