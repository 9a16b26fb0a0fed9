// Loads arbitrary text as a store file. When it loads, the store is written back (through
// a change and a disconnect) and loaded again: the second tree must equal the first.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirclient/attribute.h>
#include <dirclient/attribute_set.h>
#include <dirclient/dentry.h>
#include <dirclient/dexception.h>
#include <dirclient/dlist.h>
#include <dirclient/ffconnection.h>
#include <dirclient/ffnode.h>
#include <dirclient/search_results.h>

namespace {

std::string folder() {
    const char* shm = "/dev/shm";
    std::string base = access(shm, W_OK) == 0 ? shm : "/tmp";
    return base + "/flatfile_load_fuzz." + std::to_string(getpid());
}

// What a file keeps of the tree: DNs in order and every non-empty value of every named
// attribute, byte for byte.
std::string canonical() {
    std::string out;
    FFConnection::lock();
    FFNode* root = FFConnection::getRoot();
    SearchResults all;
    if (root != nullptr) root->search(2, nullptr, nullptr, false, &all);
    FFConnection::unlock();
    for (DEntry* e = all.first(); e != nullptr; e = all.next()) {
        out += "dn=";
        out += e->getDN();
        out += '\n';
        AttributeSet* set = e->getAttributeSet();
        for (DListItem* a = set && set->getValues() ? set->getValues()->getHead() : nullptr;
             a != nullptr; a = a->getNextItem()) {
            auto* attribute = static_cast<Attribute*>(a->getValue());
            if (attribute->getName() == nullptr || attribute->getName()[0] == '\0') continue;
            for (DListItem* v = attribute->getValues() ? attribute->getValues()->getHead()
                                                       : nullptr;
                 v != nullptr; v = v->getNextItem()) {
                std::string bytes;
                if (v->getType() == DLIST_STRING && v->getValue() != nullptr) {
                    bytes = static_cast<const char*>(v->getValue());
                } else if (v->getType() == DLIST_BINARY && v->getValue() != nullptr) {
                    auto* b = static_cast<Dbinary*>(v->getValue());
                    bytes.assign(b->bytes, b->length);
                }
                if (bytes.empty()) continue;
                out += attribute->getName();
                out += '=';
                out += bytes;
                out += '\n';
            }
        }
    }
    return out;
}

}  // namespace

// Loading reports duplicates and orphans on standard error, once per input: keep the
// target's own standard error closed (libFuzzer and the sanitizers report elsewhere).
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> args;
    args.assign(*argv, *argv + *argc);
    static char quiet[] = "-close_fd_mask=2";
    args.push_back(quiet);
    args.push_back(nullptr);
    *argc += 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = folder() + ".ldif";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    std::string host = "FILE:///" + path;
    std::string before;
    {
        FFConnection c;
        DException* e = nullptr;
        c.connect(host.c_str(), 0, &e);
        if (e != nullptr) {
            delete e;
            FFConnection::empty();
            std::remove(path.c_str());
            return 0;
        }
        before = canonical();
        DEntry* marker = new (HEAP) DEntry("cn=fuzz-marker");
        c.add(marker, &e);  // any change makes disconnect write the file
        delete marker;
        delete e;
        e = nullptr;
        c.remove("cn=fuzz-marker", &e);
        delete e;
        e = nullptr;
        c.disconnect(&e);
        if (e != nullptr) abort();
    }
    FFConnection::empty();
    FFConnection again;
    DException* e = nullptr;
    again.connect(host.c_str(), 0, &e);
    if (e != nullptr) abort();  // what was saved must load
    if (canonical() != before) abort();
    FFConnection::empty();
    std::remove(path.c_str());
    std::remove((path + ".txt").c_str());
    return 0;
}
