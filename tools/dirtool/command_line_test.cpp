#include "command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>
#include <vector>

namespace dirtool {
namespace {

Invocation parse(std::initializer_list<const char*> args, const char* env_host = nullptr) {
    std::vector<const char*> argv{"dirtool"};
    argv.insert(argv.end(), args);
    return parse_command_line(static_cast<int>(argv.size()), argv.data(), env_host);
}

TEST(CommandLine, ReadsConnectionOptionsInEveryForm) {
    Invocation a = parse({"-H", "FILE:///d.ldif", "-p", "1389", "-D", "cn=admin", "-w", "pw",
                          "--profile", "changed"});
    EXPECT_EQ(a.host, "FILE:///d.ldif");
    EXPECT_EQ(a.port, 1389);
    EXPECT_TRUE(a.bind);
    EXPECT_EQ(a.bind_dn, "cn=admin");
    EXPECT_EQ(a.password, "pw");
    EXPECT_TRUE(a.profile);
    EXPECT_EQ(a.command, Command::kChanged);

    Invocation b = parse(
        {"changed", "--host=LDAP://a:1;LDAP://b:2", "--port=636", "-Dcn=x", "--password", "p"});
    EXPECT_EQ(b.host, "LDAP://a:1;LDAP://b:2");
    EXPECT_EQ(b.port, 636);
    EXPECT_EQ(b.bind_dn, "cn=x");
    Invocation y = parse({"-Hh", "-D", "cn=x", "--password-file", "secret.txt", "changed"});
    EXPECT_TRUE(y.bind);
    EXPECT_EQ(y.password_file, "secret.txt");
    EXPECT_FALSE(parse({"-Hh", "changed"}).bind);
    EXPECT_EQ(parse({"-Hh", "changed"}).port, 389);
    EXPECT_EQ(parse({"-Hh", "--match", "LDAP", "changed"}).match, Matching::kLdap);
    EXPECT_EQ(parse({"-Hh", "--match=default", "changed"}).match, Matching::kDefault);
    EXPECT_EQ(parse({"-Hh", "changed"}).match, Matching::kProcess);

    // Without -H, the environment names the directory; -H wins over it.
    EXPECT_EQ(parse({"changed"}, "DNS:dirs").host, "DNS:dirs");
    EXPECT_EQ(parse({"-H", "h", "changed"}, "DNS:dirs").host, "h");
}

TEST(CommandLine, ReadsThePageSizeOfASearch) {
    struct Row {
        std::vector<const char*> options;
        int page;  // -1: a usage error
    } rows[] = {
        {{}, 0},
        {{"--page", "100"}, 100},
        {{"-E", "pr=50"}, 50},
        {{"-E", "!pr=7/noprompt"}, 7},
        {{"-Epr=9/prompt"}, 9},
        {{"--page", "0"}, -1},
        {{"-E", "pr=x"}, -1},
        {{"-E", "pr=10/later"}, -1},
        {{"-E", "sss=cn"}, -1},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        std::vector<const char*> argv{"dirtool", "-Hh", "search", "o=x", "sub"};
        argv.insert(argv.end(), rows[i].options.begin(), rows[i].options.end());
        if (rows[i].page < 0) {
            EXPECT_THROW(parse_command_line(static_cast<int>(argv.size()), argv.data(), nullptr),
                         UsageError);
        } else {
            EXPECT_EQ(
                parse_command_line(static_cast<int>(argv.size()), argv.data(), nullptr).page_size,
                rows[i].page);
        }
    }
    EXPECT_THROW(parse({"-Hh", "read", "o=x", "--page", "5"}), UsageError);
}

TEST(CommandLine, ReadsTlsAndPasswordPromptOptions) {
    EXPECT_EQ(parse({"-Hh", "changed"}).starttls, -1);
    EXPECT_EQ(parse({"-Hh", "-Z", "changed"}).starttls, 1);
    EXPECT_EQ(parse({"-Hh", "-ZZ", "changed"}).starttls, 2);
    EXPECT_EQ(parse({"-Hh", "-ZZ", "-Z", "changed"}).starttls, 2);
    Invocation w = parse({"-H", "LDAPS://a", "-D", "cn=x", "-W", "changed"});
    EXPECT_TRUE(w.bind);
    EXPECT_TRUE(w.prompt_password);
    EXPECT_THROW(parse({"-Hh", "-D", "cn=x", "-W", "-w", "p", "changed"}), UsageError);
    EXPECT_THROW(parse({"-Hh", "-W", "changed"}), UsageError);
}

TEST(CommandLine, ReadsEveryCommandsOperands) {
    Invocation s =
        parse({"-Hh", "search", "o=x", "one", "(cn=a*)", "cn", "mail", "--sort", "sn:desc,cn"});
    EXPECT_EQ(s.command, Command::kSearch);
    EXPECT_EQ(s.dn, "o=x");
    EXPECT_EQ(s.scope, 1);
    EXPECT_EQ(s.filter, "(cn=a*)");
    EXPECT_EQ(s.attributes, (std::vector<std::string>{"cn", "mail"}));
    ASSERT_EQ(s.sort.size(), 2u);
    EXPECT_FALSE(s.sort[0].ascending);

    Invocation all = parse({"-Hh", "search", "", "sub"});
    EXPECT_EQ(all.dn, "");
    EXPECT_EQ(all.filter, "(objectclass=*)");
    EXPECT_TRUE(all.attributes.empty());
    EXPECT_EQ(parse({"-Hh", "search", "o=x", "base", "(cn=*)", "*", "+"}).attributes.size(), 2u);

    Invocation r = parse({"-Hh", "read", "cn=a,o=x", "cn"});
    EXPECT_EQ(r.command, Command::kRead);
    EXPECT_EQ(r.attributes.size(), 1u);
    EXPECT_EQ(parse({"-Hh", "add", "-"}).file, "-");
    EXPECT_EQ(parse({"-Hh", "modify", "cn=a"}).command, Command::kModify);

    Invocation d = parse({"-Hh", "delete", "-r", "ou=x"});
    EXPECT_TRUE(d.subtree);
    EXPECT_FALSE(parse({"-Hh", "delete", "ou=x"}).subtree);

    Invocation n = parse({"-Hh", "rename", "cn=a,o=x", "cn=b", "ou=y,o=x", "--keep-old-rdn"});
    EXPECT_EQ(n.new_rdn, "cn=b");
    EXPECT_TRUE(n.has_new_superior);
    EXPECT_EQ(n.new_superior, "ou=y,o=x");
    EXPECT_TRUE(n.keep_old_rdn);
    EXPECT_FALSE(parse({"-Hh", "rename", "cn=a,o=x", "cn=b"}).has_new_superior);

    Invocation c = parse({"-Hh", "compare", "cn=a", "uidNumber", "--", "-5", "7"});
    EXPECT_EQ(c.attribute, "uidNumber");
    EXPECT_EQ(c.values, (std::vector<std::string>{"-5", "7"}));
    EXPECT_EQ(parse({"-Hh", "changed", "--wait", "30"}).wait_seconds, 30);
}

TEST(CommandLine, TakesTheLdapToolsOptions) {
    Invocation s = parse({"-Hh", "-x", "-b", "o=x", "-s", "one", "-LLL", "(ou=*)", "ou"});
    EXPECT_EQ(s.command, Command::kSearch);
    EXPECT_EQ(s.dn, "o=x");
    EXPECT_EQ(s.scope, 1);
    EXPECT_EQ(s.filter, "(ou=*)");
    EXPECT_EQ(s.attributes, std::vector<std::string>{"ou"});
    EXPECT_EQ(s.ldif_level, 0);  // -LLL: the records only, dirtool's own form

    Invocation l = parse({"-xLLHh", "search", "-b", "o=x", "-z5", "-l", "3", "-A", "-S", "sn"});
    EXPECT_EQ(l.host, "h");
    EXPECT_EQ(l.scope, 2);  // sub, as without -s
    EXPECT_EQ(l.filter, "(objectclass=*)");
    EXPECT_EQ(l.ldif_level, 2);
    EXPECT_EQ(l.size_limit, 5);
    EXPECT_EQ(l.time_limit, 3);
    EXPECT_TRUE(l.attrs_only);
    ASSERT_EQ(l.sort.size(), 1u);
    EXPECT_EQ(parse({"-Hh", "-b", "o=x", "-f", "f.txt", "(sn=%s)"}).filter_file, "f.txt");

    // -f names a change file: alone or after modify it is applied, after add added.
    for (auto args : {std::vector<const char*>{"-Hh", "-f", "c.ldif"},
                      std::vector<const char*>{"-Hh", "modify", "-a", "-f", "c.ldif"},
                      std::vector<const char*>{"-Hh", "apply", "c.ldif"}}) {
        args.insert(args.begin(), "dirtool");
        Invocation a = parse_command_line(static_cast<int>(args.size()), args.data(), nullptr);
        EXPECT_EQ(a.command, Command::kApply);
        EXPECT_EQ(a.file, "c.ldif");
    }
    Invocation add = parse({"-Hh", "add", "-cnv", "-f", "e.ldif"});
    EXPECT_EQ(add.command, Command::kAdd);
    EXPECT_EQ(add.file, "e.ldif");
    EXPECT_TRUE(add.keep_going && add.dry_run && add.verbose);
    EXPECT_EQ(parse({"-Hh", "-P", "3", "changed"}).command, Command::kChanged);
}

TEST(CommandLine, ScopesByNameOrNumber) {
    struct {
        const char* text;
        int scope;
    } cases[] = {
        {"base", 0}, {"BASE", 0}, {"0", 0},       {"one", 1}, {"onelevel", 1},
        {"1", 1},    {"sub", 2},  {"Subtree", 2}, {"2", 2},   {"children", kScopeChildren}};
    for (const auto& c : cases)
        EXPECT_EQ(parse_scope(c.text), c.scope) << c.text;
    for (const char* bad : {"", "3", "-1", "child", "2x"})
        EXPECT_THROW(parse_scope(bad), UsageError) << bad;
}

TEST(CommandLine, HelpAndVersionWinOverEverythingElse) {
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"search", "--bogus", "-h"}).help);
    EXPECT_TRUE(parse({"help"}).help);
    EXPECT_TRUE(parse({"-?", "delete"}).help);
    EXPECT_TRUE(parse({"rename", "--version"}).version);
}

// A command line dirtool refuses, and a part of the reason it gives.
struct Rejected {
    std::vector<const char*> args;
    const char* message;
};

// Commands, hosts and options that are wrong in themselves.
const Rejected kBadOptions[] = {
    {{"-Hh"}, "no command"},
    {{"-Hh", "list"}, "unknown command \"list\""},
    {{"changed"}, "no directory given"},
    {{"-H", "", "changed"}, "empty host"},
    {{"-Hh", "--frobnicate", "changed"}, "unknown option --frobnicate"},
    {{"-Hh", "compare", "cn=a", "n", "-5"}, "unknown option -5 (write -- before operands"},
    {{"-Hh", "-Q", "changed"}, "unknown option -Q (dirtool --help lists the options)"},
    {{"-Hh", "changed", "-H"}, "-H needs a value"},
    {{"-Hh", "-p", "0", "changed"}, "the port must be a number from 1 to 65535"},
    {{"-Hh", "-p", "65536", "changed"}, "not \"65536\""},
    {{"-Hh", "-D", "cn=a", "changed"}, "-D needs -w PASSWORD, -W or -y FILE"},
    {{"-Hh", "-w", "pw", "changed"}, "-w, -W and -y need -D"},
    {{"-Hh", "-D", "cn=a", "-w", "pw", "-y", "pw.txt", "changed"}, "not both"},
    {{"-Hh", "--profile=yes", "changed"}, "takes no value"},
    {{"-Hh", "--match", "fuzzy", "changed"}, "--match must be \"default\" or \"ldap\""},
};

// Operands missing, extra or malformed.
const Rejected kBadOperands[] = {
    {{"-Hh", "search", "o=x"}, "missing operands: search BASE SCOPE"},
    {{"-Hh", "search", "o=x", "all"}, "unknown scope \"all\""},
    {{"-Hh", "search", "o=x", "sub", ""}, "empty search filter"},
    {{"-Hh", "search", "o=x", "sub", "(cn=*)", "c n"}, "invalid attribute name \"c n\""},
    {{"-Hh", "search", "o=x", "sub", "--sort", "cn:up"}, "unknown sort direction"},
    {{"-Hh", "read"}, "missing operands: read DN"},
    {{"-Hh", "add"}, "missing operands: add FILE.ldif"},
    {{"-Hh", "add", "a.ldif", "b.ldif"}, "too many operands"},
    {{"-Hh", "rename", "cn=a"}, "missing operands: rename DN NEWRDN"},
    {{"-Hh", "rename", "cn=a", "b"}, "NEWRDN must read attribute=value"},
    {{"-Hh", "rename", "cn=a", "cn=b", "o=x", "o=y"}, "too many operands"},
    {{"-Hh", "rename", "cn=a,o=x", "cn=b", ""}, "NEWSUPERIOR must be a DN"},
    {{"-Hh", "compare", "cn=a", "cn"}, "missing operands: compare DN ATTR VALUE"},
    {{"-Hh", "compare", "cn=a", "c=n", "x"}, "invalid attribute name"},
    {{"-Hh", "changed", "--wait", "-1"}, "--wait must be a number"},
};

// Options given to a command they do not belong to, or in a form it does not take.
const Rejected kMisplacedOptions[] = {
    {{"-Hh", "read", "cn=a", "--sort", "cn"}, "--sort belongs to the search command"},
    {{"-Hh", "-r", "read", "cn=a"}, "-r belongs to the delete command"},
    {{"-Hh", "search", "-s", "one", "o=x", "sub"}, "-s SCOPE goes with -b BASE"},
    {{"-Hh", "-b", "o=x", "-LLLL"}, "at most three times"},
    {{"-Hh", "-b", "o=x", "-z", "many"}, "-z must be a number"},
    {{"-Hh", "-b", "o=x", "-s", "deep"}, "unknown scope \"deep\""},
    {{"-Hh", "-P", "2", "changed"}, "only LDAP version 3"},
    {{"-Hh", "-c", "read", "cn=a"}, "-c belongs to add and apply"},
    {{"-Hh", "-b", "o=x", "-a", "always"}, "-a belongs to add and apply"},
    {{"-Hh", "-A", "read", "cn=a"}, "-A belongs to the search command"},
    {{"-Hh", "-n", "compare", "cn=a", "cn", "a"}, "-n belongs to search, add"},
    {{"-Hh", "apply"}, "missing operands: apply FILE.ldif"},
    {{"-Hh", "add", "-f", "a.ldif", "b.ldif"}, "too many operands: add -f FILE.ldif"},
    {{"-Hh", "(cn=a)"}, "or -b BASE to search"},
    {{"-Hh", "add", ""}, "empty file name"},
    {{"-Hh", "-b", "o=x", "-f", ""}, "-f needs a file name"},
};

void expectRejected(const Rejected& c) {
    std::vector<const char*> argv{"dirtool"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.message);
    try {
        parse_command_line(static_cast<int>(argv.size()), argv.data(), nullptr);
        ADD_FAILURE() << "accepted";
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
}

TEST(CommandLine, RejectsWhatCannotRunWithAReason) {
    for (const Rejected& c : kBadOptions)
        expectRejected(c);
    for (const Rejected& c : kBadOperands)
        expectRejected(c);
    for (const Rejected& c : kMisplacedOptions)
        expectRejected(c);
}

}  // namespace
}  // namespace dirtool
