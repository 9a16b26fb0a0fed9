#include "dns_lookup.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "server_list_walk.h"

namespace dirclient::ldapaccess {

namespace {

// The largest DNS message; a TXT answer bigger than a UDP datagram arrives over TCP.
constexpr int kAnswerCapacity = 65535;

std::mutex g_dns_mutex;
std::optional<std::string> g_dns_name;  // guarded by g_dns_mutex; nothing means the default

std::string name_locked() {
    return g_dns_name.value_or(kDefaultDnsName);
}

// Ignores SIGPIPE for the lifetime of the object and restores the previous disposition.
class SigpipeIgnored {
  public:
    SigpipeIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &previous_);
    }
    ~SigpipeIgnored() { sigaction(SIGPIPE, &previous_, nullptr); }
    SigpipeIgnored(const SigpipeIgnored&) = delete;
    SigpipeIgnored& operator=(const SigpipeIgnored&) = delete;

  private:
    struct sigaction previous_ {};
};

std::vector<unsigned char> answer_locked(const std::string& name, int type, bool search) {
    SigpipeIgnored quiet;
    struct __res_state state {};
    if (res_ninit(&state) != 0) return {};
    std::vector<unsigned char> answer(kAnswerCapacity);
    int length = search ? res_nsearch(&state, name.c_str(), ns_c_in, type, answer.data(),
                                      static_cast<int>(answer.size()))
                        : res_nquery(&state, name.c_str(), ns_c_in, type, answer.data(),
                                     static_cast<int>(answer.size()));
    res_nclose(&state);
    if (length <= 0) return {};
    // The resolver reports the size of the whole answer, which may exceed what it stored.
    answer.resize(std::min(length, static_cast<int>(answer.size())));
    return answer;
}

std::optional<std::string> lookup_locked(const std::string& name) {
    std::vector<unsigned char> answer = answer_locked(name, ns_t_txt, true);
    if (answer.empty()) return std::nullopt;
    std::optional<std::string> text =
        parse_txt_answer(answer.data(), static_cast<int>(answer.size()));
    if (!text || text->empty()) return std::nullopt;
    return upper_case(std::move(*text));
}

int copy_out(const std::string& text, char* buf, int size) {
    int needed = static_cast<int>(text.size()) + 1;
    if (buf == nullptr || size < needed) return needed;
    std::memcpy(buf, text.c_str(), static_cast<size_t>(needed));
    return 0;
}

}  // namespace

std::string dns_name() {
    std::lock_guard<std::mutex> lock(g_dns_mutex);
    return name_locked();
}

void clear_dns_name() {
    std::lock_guard<std::mutex> lock(g_dns_mutex);
    g_dns_name.reset();
}

std::vector<unsigned char> dns_answer(const std::string& name, int type, bool search) {
    std::lock_guard<std::mutex> lock(g_dns_mutex);
    return answer_locked(name, type, search);
}

std::optional<std::string> lookup_server_list(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_dns_mutex);
    return lookup_locked(name);
}

std::optional<std::string> parse_txt_answer(const unsigned char* answer, int length) {
    if (answer == nullptr || length <= 0) return std::nullopt;
    ns_msg message;
    if (ns_initparse(answer, length, &message) != 0) return std::nullopt;
    if (ns_msg_count(message, ns_s_qd) != 1 || ns_msg_count(message, ns_s_an) < 1)
        return std::nullopt;
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr record;
        if (ns_parserr(&message, ns_s_an, i, &record) != 0) return std::nullopt;
        if (ns_rr_type(record) != ns_t_txt || ns_rr_class(record) != ns_c_in) continue;
        const unsigned char* data = ns_rr_rdata(record);
        const unsigned char* end = data + ns_rr_rdlen(record);
        if (end > answer + length) return std::nullopt;
        std::string text;
        while (data < end) {
            size_t piece = *data++;
            if (piece > static_cast<size_t>(end - data)) return std::nullopt;
            text.append(reinterpret_cast<const char*>(data), piece);
            data += piece;
        }
        return text;
    }
    return std::nullopt;
}

}  // namespace dirclient::ldapaccess

using namespace dirclient::ldapaccess;

extern "C" void setDNSName(const char* name) {
    std::lock_guard<std::mutex> lock(g_dns_mutex);
    if (name == nullptr)
        g_dns_name.reset();
    else
        g_dns_name = name;
}

extern "C" int getDNSName(char* buf, int size) {
    return copy_out(dns_name(), buf, size);
}

extern "C" int getDNSServerListEntry(char* buf, int size) {
    std::optional<std::string> list = lookup_server_list(dns_name());
    if (!list) return -1;
    return copy_out(*list, buf, size);
}

extern "C" char* res_getBackupServerList(void) {
    std::optional<std::string> list;
    {
        std::lock_guard<std::mutex> lock(g_dns_mutex);
        list = lookup_locked(name_locked());
    }
    return list ? strdup(list->c_str()) : nullptr;
}
