// Loading a store file, the file name rules, and writing the file back.

#include "flatfile_test_support.h"
#include "ldap_result_codes.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

namespace {

using namespace fftest;

class FFLoad : public StoreTest {};
class FFSave : public StoreTest {};

std::vector<std::string> subtree(FFConnection& c, const char* base) {
    return searchDns(c, base, 2, "(|(objectclass=*)(o=*)(ou=*)(cn=*))");
}

int regularFiles() {
    int files = 0;
    for (const auto& f : std::filesystem::directory_iterator("."))
        files += f.is_regular_file();
    return files;
}

TEST_F(FFLoad, SkipsVersionAndCommentsAndJoinsContinuations) {
    FFConnection c;
    load(c,
         "# a directory\n"
         "version: 1\n"
         "\n"
         "dn: o=x\n"
         "objectClass: organization\n"
         "# inside a record\n"
         "o: x\n"
         "description: a long\n"
         "  value\n"
         " continued\n"
         "junk line without colon\n"
         "\n"
         "dn: cn=a,o=x\n"
         "objectClass: person\n"
         "cn: a\n"
         "sn:: U21pdGg=\n"
         "cn: second value\n");
    EXPECT_EQ(readOne(c, "o=x"),
              "o=x|objectClass=organization|o=x|description=a long valuecontinued");
    EXPECT_EQ(readOne(c, "CN=A, O=X"), "cn=a,o=x|objectClass=person|cn=a=second value|sn=Smith");
    EXPECT_FALSE(c.isConnected());  // a fresh connection is not bound until it authenticates
    EXPECT_EQ(c.isChanged(), 0);    // loading is not a change
}

// An empty line followed by a folded one reads as a line that starts with white space;
// the attribute it names must still be written back as a line that reads the same.
TEST_F(FFLoad, NamesLoseLeadingWhiteSpace) {
    FFConnection c;
    load(c, "dn: o=x\no: x\n\n \tcn: v\n");
    EXPECT_EQ(readOne(c, "o=x"), "o=x|o=x|cn=v");
    addOk(c, "o=y");
    DException* e = nullptr;
    c.disconnect(&e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(read("dir.ldif"), "dn: o=x\no: x\ncn: v\n\ndn: o=y\n\n");
}

// A folded line starting with '#' once joined would be written back as a comment: it is
// one already, so what loads saves back equal.
TEST_F(FFLoad, NamesThatWouldSaveAsCommentsAreComments) {
    FFConnection c;
    load(c, "dn: o=x\no: x\n\n  #note: keep me\nsn: s\n");
    EXPECT_EQ(readOne(c, "o=x"), "o=x|o=x|sn=s");
}

TEST_F(FFLoad, PlacesChildrenThatComeBeforeTheirParents) {
    FFConnection c;
    load(c,
         "dn: cn=c,ou=p,o=x\ncn: c\n\n"
         "dn: cn=b,ou=p,o=x\ncn: b\n\n"
         "dn: ou=p,o=x\nou: p\n\n"
         "dn: cn=d,ou=q,o=x\ncn: d\n\n"
         "dn: o=x\no: x\n\n"
         "dn: ou=q,o=x\nou: q\n\n"
         "dn: cn=a,ou=p,o=x\ncn: a\n\n");
    // The order of siblings is that of retrying the waiting records pass after pass.
    EXPECT_EQ(subtree(c, "o=x"),
              (std::vector<std::string>{"o=x", "ou=q,o=x", "cn=d,ou=q,o=x", "ou=p,o=x",
                                        "cn=a,ou=p,o=x", "cn=c,ou=p,o=x", "cn=b,ou=p,o=x"}));
}

TEST_F(FFLoad, ReverseOrderedDeepChainLoads) {
    std::string text;
    std::vector<std::string> dns{"o=x"};
    for (int i = 0; i < 300; ++i)
        dns.push_back("ou=l" + std::to_string(i) + "," + dns.back());
    for (auto it = dns.rbegin(); it != dns.rend(); ++it)
        text += "dn: " + *it + "\nobjectClass: top\n\n";
    FFConnection c;
    load(c, text);
    EXPECT_EQ(subtree(c, "o=x"), dns);
}

TEST_F(FFLoad, KeepsTheFirstOfTwoRecordsWithOneDn) {
    FFConnection c;
    testing::internal::CaptureStderr();
    load(c,
         "dn: o=x\no: first\n\ndn: cn=w,o=y\ncn: w\n\ndn: O=X\no: second\n\n"
         "dn: o=y\no: y\n\ndn: cn=W,o=y\ncn: later\n\n");
    std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_EQ(readOne(c, "o=x"), "o=x|o=first");
    // The first cn=w record waited for o=y, so the later one was placed first.
    EXPECT_EQ(readOne(c, "cn=w,o=y"), "cn=W,o=y|cn=later");
    EXPECT_EQ(warnings,
              "WARNING: duplicate entry \"O=X\"\nWARNING: duplicate entry \"cn=w,o=y\"\n");
}

// A missing entry high up leaves everything below it waiting: the message names that entry
// and the first one that needs it, not some deep entry.
TEST_F(FFLoad, FailsWholeWhenAParentIsMissing) {
    struct Row {
        const char* file;
        const char* orphan;
        const char* missing;
    } rows[] = {
        {"dn: o=x\no: x\n\ndn: cn=a,ou=gone,o=x\ncn: a\n\n", "cn=a,ou=gone,o=x", "ou=gone,o=x"},
        {"dn: cn=All Staff,ou=groups,dc=example,dc=com\ncn: All Staff\n\n"
         "dn: ou=groups,dc=example,dc=com\nou: groups\n\n"
         "dn: dc=example,dc=com\ndc: example\n\n",
         "dc=example,dc=com", "dc=com"},
    };
    FFConnection c;
    DException* e = nullptr;
    for (const Row& row : rows) {
        writeText("dir.ldif", row.file);
        testing::internal::CaptureStderr();
        c.connect("FILE:///dir.ldif", 0, &e);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("ERROR: entry \"") + row.orphan + "\" has no parent\n");
        expectFailure(e, DEXC_ADD, QDX_LDAP_NO_SUCH_OBJECT,
                      (std::string("the parent entry \"") + row.missing + "\" of \"" + row.orphan +
                       "\" is not in the file")
                          .c_str());
        EXPECT_EQ(FFConnection::getRoot(), nullptr);
        EXPECT_FALSE(c.isConnected());
    }
    // Nothing half-loaded remains: a repaired file loads afresh.
    writeText("dir.ldif",
              "dn: o=x\no: x\n\ndn: ou=gone,o=x\nou: gone\n\n"
              "dn: cn=a,ou=gone,o=x\ncn: a\n\n");
    c.connect("FILE:///dir.ldif", 0, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(readOne(c, "cn=a,ou=gone,o=x"), "cn=a,ou=gone,o=x|cn=a");
}

// A NUL byte would cut a value or DN and join the rest to the next line: the file is refused
// with the line that holds it, whatever the line's form.
TEST_F(FFLoad, RefusesNulBytesNamingTheLine) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        int line;
    } rows[] = {
        {"dn: o=x\no: x\n\ndn: cn=a,o=x\ncn: a\0b\nsn: s\n"s, 5},
        {"dn: o=x\no: x\n\ndn: cn=a\0,o=y,o=x\ncn: a\n"s, 4},
        {"dn: o=x\no: x\ndescription: a\n b\0c\n"s, 3},
        {"dn: o=x\no: x\n\ndn:: Y249YQBiLG89eA==\ncn: a\n"s, 4},  // cn=a<NUL>b,o=x
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        writeText("dir.ldif", rows[i].text);
        FFConnection c;
        DException* e = nullptr;
        testing::internal::CaptureStderr();
        c.connect("FILE:///dir.ldif", 0, &e);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "ERROR: dir.ldif, line " + std::to_string(rows[i].line) +
                      ": a NUL byte in a DN or value; file not loaded\n");
        expectFailure(e, DEXC_CONNECT, QDX_LDAP_SERVER_DOWN);
        EXPECT_EQ(FFConnection::getRoot(), nullptr);
        EXPECT_EQ(read("dir.ldif"), rows[i].text);
    }
}

TEST_F(FFLoad, ReportsFilesThatCannotBeRead) {
    FFConnection c;
    DException* e = nullptr;
    c.connect(nullptr, 0, &e);
    expectFailure(e, DEXC_CONNECT, QDX_LDAP_NO_SUCH_OBJECT);
    c.connect("FILE:///missing.ldif", 0, &e);
    expectFailure(e, DEXC_CONNECT, QDX_LDAP_SERVER_DOWN);
    EXPECT_EQ(FFConnection::getRoot(), nullptr);
    // A folder opens but fails on reading: that must not pass for an empty directory.
    std::filesystem::create_directory("folder.ldif");
    c.connect("FILE:///folder.ldif", 0, &e);
    expectFailure(e, DEXC_CONNECT, QDX_LDAP_SERVER_DOWN);
    EXPECT_EQ(FFConnection::getRoot(), nullptr);
}

TEST_F(FFLoad, AbandonsOnARecordNamedLikeTheMonitor) {
    writeText("dir.ldif", "dn: o=x\n\ndn: CN=Monitor\ncn: monitor\n\n");
    FFConnection c;
    DException* e = nullptr;
    c.connect("FILE:///dir.ldif", 0, &e);
    expectFailure(e, DEXC_ADD, QDX_LDAP_SUCCESS, "Invalid dn");
    EXPECT_EQ(FFConnection::getRoot(), nullptr);
}

TEST_F(FFLoad, HostNamesAPathWithOptionalBaseDn) {
    std::filesystem::create_directories("a");
    writeText("a/b.ldif", "dn: o=org\no: org\n\n");
    FFConnection c;
    DException* e = nullptr;
    c.connect("file:///a/b.ldif/o=org", 0, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_STREQ(c.getHost(), "file:///a/b.ldif/o=org");
    EXPECT_EQ(readOne(c, "o=org"), "o=org|o=org");
    FFConnection::empty();
    std::string absolute = "FILE:///" + dir_.path() + "/a/b.ldif";  // four slashes
    c.connect(absolute.c_str(), 0, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(readOne(c, "o=org"), "o=org|o=org");
}

TEST_F(FFLoad, LaterConnectionsShareTheLoadedTree) {
    FFConnection first;
    load(first, "dn: o=first\no: first\n\n", "first.ldif");
    writeText("second.ldif", "dn: o=second\no: second\n\n");
    FFConnection second;
    DException* e = nullptr;
    second.connect("FILE:///second.ldif", 0, &e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(readOne(second, "o=first"), "o=first|o=first");
    EXPECT_EQ(readOne(second, "o=second"), errorText(QDX_LDAP_NO_SUCH_OBJECT));
    // A change through the second connection is written to the loaded file only.
    addOk(second, "cn=n,o=first", {{"cn", "n"}});
    second.disconnect(&e);
    ASSERT_EQ(e, nullptr);
    EXPECT_NE(read("first.ldif").find("cn=n,o=first"), std::string::npos);
    EXPECT_EQ(read("second.ldif"), "dn: o=second\no: second\n\n");
}

TEST_F(FFSave, WritesPreOrderAndKeepsThePreviousFile) {
    const std::string original =
        "version: 1\n\ndn: o=x\no: x\n\ndn: ou=a,o=x\nou: a\n\ndn: ou=b,o=x\nou: b\n\n";
    FFConnection c;
    load(c, original);
    DException* e = nullptr;
    for (const char* dn : {"cn=1,ou=a,o=x", "cn=2,ou=b,o=x", "cn=3,ou=a,o=x"}) {
        ASSERT_NO_FATAL_FAILURE(addOk(c, dn, {{"cn", "v"}}));
    }
    c.disconnect(&e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(read("dir.ldif"),
              "dn: o=x\no: x\n\n"
              "dn: ou=a,o=x\nou: a\n\n"
              "dn: cn=1,ou=a,o=x\ncn: v\n\n"
              "dn: cn=3,ou=a,o=x\ncn: v\n\n"
              "dn: ou=b,o=x\nou: b\n\n"
              "dn: cn=2,ou=b,o=x\ncn: v\n\n");
    EXPECT_EQ(read("dir.ldif.txt"), original);
    // Only the two files remain: no temporary file is left behind.
    EXPECT_EQ(regularFiles(), 2);
}

// The spellings a server prints (hex pairs) and the short escapes name one entry, and the
// saved file names it so that it loads back the same.
TEST_F(FFSave, HexEscapedDnsAreOneEntryWhateverTheSpelling) {
    FFConnection c;
    load(c, "dn: o=test\no: test\n\ndn: cn=Plain\\2C Comma,o=test\ncn: Plain, Comma\n\n");
    EXPECT_EQ(readOne(c, "cn=Plain\\, Comma,o=test"), "cn=Plain\\, Comma,o=test|cn=Plain, Comma");
    EXPECT_EQ(readOne(c, "cn=plain\\2c comma,o=test"), readOne(c, "cn=Plain\\, Comma,o=test"));
    addOk(c, "cn=\\41bc\\20,o=test", {{"cn", "Abc "}});
    DException* same = tryAdd(c, "cn=Abc\\ ,o=test");
    expectFailure(same, DEXC_ADD, QDX_LDAP_ALREADY_EXISTS);
    EXPECT_EQ(readOne(c, "cn=\\C3\\A9\\23,o=test"), errorText(QDX_LDAP_NO_SUCH_OBJECT));
    addOk(c, "cn=\\23\\C3\\A9,o=test", {{"cn", "#\xc3\xa9"}});
    EXPECT_EQ(searchDns(c, "o=test", 1, "(cn=*)"),
              (std::vector<std::string>{"cn=Plain\\, Comma,o=test", "cn=Abc\\ ,o=test",
                                        "cn=\\#\xc3\xa9,o=test"}));
    c.rename("cn=Abc\\20,o=test", "cn=x\\2By", true, nullptr);
    EXPECT_EQ(readOne(c, "cn=x\\+y,o=test"), "cn=x\\+y,o=test|cn=x+y");
    DException* e = nullptr;
    c.disconnect(&e);
    ASSERT_EQ(e, nullptr);
    FFConnection::empty();
    FFConnection again;
    load(again, read("dir.ldif"));
    EXPECT_EQ(searchDns(again, "o=test", 1, "(cn=*)"),
              (std::vector<std::string>{"cn=Plain\\, Comma,o=test", "cn=x\\+y,o=test",
                                        "cn=\\#\xc3\xa9,o=test"}));
}

TEST_F(FFSave, ValuesRoundTripThroughTheFile) {
    FFConnection c;
    load(c, "dn: o=x\no: x\n\n");
    DEntry* entry = makeEntry("cn=Jos\xc3\xa9,o=x", {{"cn", "Jos\xc3\xa9"},
                                                     {"description", ""},
                                                     {"description", " leading blank"},
                                                     {"note", "line one\nline two"},
                                                     {"long", std::string(200, 'z')}});
    Dbinary bytes{4, const_cast<char*>("\0\1\2\3")};
    auto* photo = new (HEAP) Attribute("photo");
    photo->addValue(&bytes);
    entry->addAttribute(photo);
    entry->addAttribute(new (HEAP) Attribute("uidNumber", 7));
    DException* e = nullptr;
    c.add(entry, &e);
    ASSERT_EQ(e, nullptr);
    delete entry;
    c.disconnect(&e);
    ASSERT_EQ(e, nullptr);
    std::string file = read("dir.ldif");
    EXPECT_EQ(file.find("description: \n"), std::string::npos);  // empty values are not written
    EXPECT_NE(file.find("dn:: "), std::string::npos);            // non-ASCII DN in base64
    EXPECT_NE(file.find("description:: IGxlYWRpbmcgYmxhbms=\n"), std::string::npos);

    FFConnection::empty();
    FFConnection again;
    DException* e2 = nullptr;
    again.connect("FILE:///dir.ldif", 0, &e2);
    ASSERT_EQ(e2, nullptr);
    EXPECT_EQ(readOne(again, "cn=jos\xc3\xa9,o=x"),
              "cn=Jos\xc3\xa9,o=x|cn=Jos\xc3\xa9|description= leading blank|"
              "note=line one\nline two|long=" +
                  std::string(200, 'z') + "|photo=(none)|uidNumber=7");
    std::unique_ptr<DEntry> back(again.read("cn=Jos\xc3\xa9,o=x", &e2));
    EXPECT_EQ(typedValues(back->getAttribute("photo")), std::string("binary \0\1\2\3", 11));
}

TEST_F(FFSave, OnlyModifyingConnectionsWrite) {
    FFConnection reader;
    load(reader, "dn: o=x\no: x\n\n");
    {
        FFConnection writer;
        writer.connect("FILE:///dir.ldif", 0, nullptr);
        addOk(writer, "cn=a,o=x", {{"cn", "a"}});
    }  // the destructor writes
    EXPECT_EQ(read("dir.ldif"), "dn: o=x\no: x\n\ndn: cn=a,o=x\ncn: a\n\n");
    std::filesystem::remove("dir.ldif.txt");
    DException* e = nullptr;
    reader.disconnect(&e);
    ASSERT_EQ(e, nullptr);
    EXPECT_FALSE(std::filesystem::exists("dir.ldif.txt"));
}

TEST_F(FFSave, KeepsThePermissionsAndCopesWithShellCharacters) {
    const std::string name = "we;ird $(touch pwned) 'name`.ldif";
    FFConnection c;
    load(c, "dn: o=x\no: x\n\n", name);
    ::chmod(name.c_str(), 0640);
    DException* e = nullptr;
    c.remove("o=x", &e);
    ASSERT_EQ(e, nullptr);
    c.disconnect(&e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(read(name), "");
    EXPECT_EQ(read(name + ".txt"), "dn: o=x\no: x\n\n");
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    struct stat st {};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A write that fails half-way (the file size limit here) is reported and leaves the
// previous file exactly as it was. Runs in a child process, which alone gets the limit.
TEST_F(FFSave, FailedWriteLeavesThePreviousFileIntact) {
    std::string original = "dn: o=x\no: x\n\n";
    FFConnection c;
    load(c, original);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_NO_FATAL_FAILURE(
            addOk(c, "cn=" + std::to_string(i) + ",o=x", {{"description", std::string(100, 'd')}}));
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{65536, 65536};
        setrlimit(RLIMIT_FSIZE, &limit);
        DException* e = nullptr;
        c.disconnect(&e);
        bool reported = e != nullptr && e->getErrorCode() == 606 &&
                        std::string(e->getInfoMsg()) == "ERROR: can not disconnect" &&
                        entrytest::failureText(*e) ==
                            "Can't contact LDIF flat file: cannot write dir.ldif: File too large";
        _exit(reported ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported as expected";
    EXPECT_EQ(read("dir.ldif"), original);
    EXPECT_FALSE(std::filesystem::exists("dir.ldif.txt"));
    EXPECT_EQ(regularFiles(), 1);
    // The parent still holds the changes and writes them when nothing stands in the way.
    DException* e = nullptr;
    c.disconnect(&e);
    ASSERT_EQ(e, nullptr);
    EXPECT_NE(read("dir.ldif").find("dn: cn=1999,o=x"), std::string::npos);
}

TEST_F(FFSave, FolderReplacedByAFileMakesTheWriteFail) {
    std::filesystem::create_directory("sub");
    FFConnection c;
    load(c, "dn: o=x\no: x\n\n", "sub/dir.ldif");
    std::filesystem::remove_all("sub");
    writeText("sub", "not a folder");
    DException* e = nullptr;
    c.remove("o=x", &e);
    c.disconnect(&e);
    expectFailure(e, DEXC_DISCONNECT, QDX_LDAP_SUCCESS,
                  "Can't contact LDIF flat file: cannot reach sub/dir.ldif: Not a directory");
    EXPECT_EQ(read("sub"), "not a folder");
}

TEST_F(FFSave, FailedSaveIsRetriedWhenTheConnectionIsDestroyed) {
    {
        FFConnection c;
        load(c, "dn: o=x\no: x\n\ndn: cn=a,o=x\ncn: a\n\n");
        std::filesystem::create_directories("dir.ldif.txt/in-the-way");
        DException* e = nullptr;
        c.remove("cn=a,o=x", &e);
        ASSERT_EQ(e, nullptr);
        c.disconnect(&e);
        expectFailure(e, DEXC_DISCONNECT, QDX_LDAP_SUCCESS,
                      "Can't contact LDIF flat file: cannot keep dir.ldif.txt: Is a directory");
        std::filesystem::remove_all("dir.ldif.txt");  // the obstacle goes away
    }
    EXPECT_EQ(read("dir.ldif"), "dn: o=x\no: x\n\n");
}

}  // namespace
