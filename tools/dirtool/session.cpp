#include "session.h"

#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirclient/dconnection.h>
#include <dirclient/ffconnection.h>
#include "commands.h"
#include "error_report.h"
#include "profiling.h"
#include "secret_input.h"

namespace dirtool {
namespace {

constexpr const char kFilePrefix[] = "FILE:///";
constexpr size_t kFilePrefixLength = sizeof kFilePrefix - 1;

bool is_flat_file_host(const std::string& host) {
    return strncasecmp(host.c_str(), kFilePrefix, kFilePrefixLength) == 0;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Why a flat file would not open, when it can be told from outside. explained: the
// library said itself what is wrong with the file.
std::string flat_file_hint(const std::string& host, bool explained) {
    std::string path = flat_file_path(host);
    if (path.empty()) return " (no file named after FILE:///)";
    if (exists(path) && explained) return "";
    if (exists(path)) return " (" + path + " is not a loadable LDIF file: see the messages above)";
    std::string hint = " (no such file: " + path;
    if (path[0] != '/' && exists("/" + path))
        hint += "; the path after FILE:/// is relative: FILE:////" + path + " names /" + path;
    return hint + ")";
}

void report(const std::string& what, DException* e, const std::string& hint = "") {
    fprintf(stderr, "dirtool: %s: %s%s\n", what.c_str(), describe_exception(*e).c_str(),
            hint.c_str());
}

// The first line of a password file, without its line end.
bool read_password(const std::string& path, std::string& password) {
    FILE* in = fopen(path.c_str(), "r");
    if (in == nullptr) return false;
    char* line = nullptr;
    size_t size = 0;
    ssize_t n = getline(&line, &size, in);
    int saved = errno;
    bool ok = n >= 0 || !ferror(in);
    if (n > 0) password.assign(line, static_cast<size_t>(n));
    while (!password.empty() && (password.back() == '\n' || password.back() == '\r'))
        password.pop_back();
    free(line);
    fclose(in);
    errno = saved;
    return ok;
}

}  // namespace

std::string flat_file_path(const std::string& host) {
    if (!is_flat_file_host(host)) return host;
    std::string path = host.substr(kFilePrefixLength);
    if (size_t semi = path.find(';'); semi != std::string::npos) path.erase(semi);
    if (path.find('=') != std::string::npos) {
        size_t slash = path.rfind('/');
        path.erase(slash == std::string::npos ? 0 : slash);
    }
    return path;
}

namespace {

// The password of the bind: as given, from the password file, or typed at the terminal;
// false (told) when it cannot be had.
bool obtain_password(const Invocation& inv, std::string& password) {
    password = inv.password;
    if (!inv.password_file.empty() && !read_password(inv.password_file, password)) {
        fprintf(stderr, "dirtool: cannot read %s: %s\n", inv.password_file.c_str(),
                strerror(errno));
        return false;
    }
    if (!inv.prompt_password) return true;
    std::optional<std::string> typed = prompt_password("Enter LDAP Password: ");
    if (!typed) {
        fputs("dirtool: -W needs a terminal to read the password from\n", stderr);
        return false;
    }
    password = std::move(*typed);
    return true;
}

// Connects, and binds when asked; 0, or the exit status of the failure (told).
int open_session(DConnection& connection, const Invocation& inv, const std::string& password) {
    if (inv.match != Matching::kProcess)
        connection.setFlatFileMatching(inv.match == Matching::kLdap ? FF_MATCH_LDAP
                                                                    : FF_MATCH_DEFAULT);
    DException* e = nullptr;
    if (inv.verbose)
        fprintf(stderr, "dirtool: connecting to %s%s%s\n", inv.host.c_str(), inv.bind ? " as " : "",
                inv.bind ? inv.bind_dn.c_str() : "");
    if (inv.starttls >= 0) connection.setStartTLS(inv.starttls, nullptr);
    {
        Activity activity("operation");
        if (inv.bind) {
            connection.connect(inv.host.c_str(), inv.port, inv.bind_dn.c_str(), password.c_str(),
                               &e);
        } else {
            connection.connect(inv.host.c_str(), inv.port, &e);
        }
    }
    if (e == nullptr) return 0;
    if (e->getErrorCode() == DEXC_AUTHENTICATE) {
        report("cannot bind as " + inv.bind_dn, e);
    } else {
        report("cannot connect to " + inv.host, e,
               is_flat_file_host(inv.host)
                   ? flat_file_hint(inv.host, FFConnection::lastConnectFailure() != nullptr)
                   : "");
    }
    int status = failure_status(*e);
    connection.deleteObject(e);
    return status;
}

// Disconnects and flushes what was written; status, or the failure of either.
int close_session(DConnection& connection, const Invocation& inv, int status) {
    DS_LDAP* handle = connection.getConnection();
    bool flat_file = handle != nullptr && handle->kind == QDX_LDAP_FLAT_FILE;
    DException* e = nullptr;
    {
        Activity activity("operation");
        connection.disconnect(&e);
    }
    if (e != nullptr) {
        // Closing a server session cannot lose anything; a flat file that cannot be written
        // back loses the changes.
        if (flat_file) {
            report("cannot write the changes back to " + flat_file_path(inv.host), e);
            status = kExitFailed;
        }
        connection.deleteObject(e);
    }
    if (fflush(stdout) != 0 || ferror(stdout)) {
        // A reader that went away (dirtool ... | head) needs no message.
        if (errno != EPIPE) perror("dirtool: standard output");
        status = kExitFailed;
    }
    return status;
}

}  // namespace

int run_session(const Invocation& inv) {
    std::string password;
    if (!obtain_password(inv, password)) return kExitUsage;
    // Runs of dirtool on one flat file take turns: each sees the changes of the one before.
    DConnection::holdFlatFiles(true);
    DConnection connection;
    if (int failed = open_session(connection, inv, password); failed != 0) return failed;
    return close_session(connection, inv, run_command(connection, inv));
}

}  // namespace dirtool
