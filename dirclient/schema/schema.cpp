// The schema store: indexes by name and OID, supertype and superclass chains, and the
// schema of the process.

#include "schema.h"

#include <dirent.h>

#include <sys/stat.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace dirschema {

namespace {

std::string lower(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Guards against a supertype cycle in a damaged file.
constexpr int kMaxChain = 64;

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return !in.bad();
}

std::vector<std::string> schemaFilesIn(const std::string& folder) {
    std::vector<std::string> files;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return files;
    while (dirent* item = ::readdir(dir)) {
        std::string name = item->d_name;
        if (name.size() > 7 && name.compare(name.size() - 7, 7, ".schema") == 0) {
            files.push_back(folder + "/" + name);
        }
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::string SchemaProblem::text() const {
    return file + ":" + std::to_string(line) + ": " + message;
}

void Schema::addAttribute(AttributeType type) {
    auto owned = std::make_unique<AttributeType>(std::move(type));
    attributeIndex_[lower(owned->oid)] = owned.get();
    for (const std::string& name : owned->names)
        attributeIndex_[lower(name)] = owned.get();
    attributes_.push_back(std::move(owned));
}

void Schema::addObjectClass(ObjectClass cls) {
    auto owned = std::make_unique<ObjectClass>(std::move(cls));
    classIndex_[lower(owned->oid)] = owned.get();
    for (const std::string& name : owned->names)
        classIndex_[lower(name)] = owned.get();
    classes_.push_back(std::move(owned));
}

bool Schema::addPath(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        for (const std::string& file : schemaFilesIn(path))
            addPath(file);
        return true;
    }
    std::string text;
    if (!readFile(path, text)) {
        problems_.push_back({path, 0, "cannot be read"});
        return false;
    }
    addText(text, path);
    return true;
}

void Schema::addMissing(const Schema& other) {
    for (const auto& type : other.attributes_) {
        if (attribute(type->oid) == nullptr) addAttribute(*type);
    }
    for (const auto& cls : other.classes_) {
        if (objectClass(cls->oid) == nullptr) addObjectClass(*cls);
    }
}

void Schema::resolve() {
    for (auto& type : attributes_) {
        type->parent = type->sup.empty() ? nullptr : attribute(type->sup);
        if (type->parent == type.get()) type->parent = nullptr;
    }
    for (auto& cls : classes_) {
        cls->parents.clear();
        for (const std::string& sup : cls->sups) {
            const ObjectClass* parent = objectClass(sup);
            if (parent != nullptr && parent != cls.get()) cls->parents.push_back(parent);
        }
    }
}

const AttributeType* Schema::attribute(const std::string& name) const {
    auto found = attributeIndex_.find(lower(name));
    return found == attributeIndex_.end() ? nullptr : found->second;
}

const ObjectClass* Schema::objectClass(const std::string& name) const {
    auto found = classIndex_.find(lower(name));
    return found == classIndex_.end() ? nullptr : found->second;
}

namespace {

const std::string& inherited(const AttributeType* type, std::string AttributeType::*field) {
    static const std::string kNone;
    for (int depth = 0; type != nullptr && depth < kMaxChain; ++depth, type = type->parent) {
        if (!(type->*field).empty()) return type->*field;
    }
    return kNone;
}

}  // namespace

const std::string& Schema::equalityOf(const AttributeType* type) {
    return inherited(type, &AttributeType::equality);
}
const std::string& Schema::orderingOf(const AttributeType* type) {
    return inherited(type, &AttributeType::ordering);
}
const std::string& Schema::substrOf(const AttributeType* type) {
    return inherited(type, &AttributeType::substr);
}
const std::string& Schema::syntaxOf(const AttributeType* type) {
    return inherited(type, &AttributeType::syntax);
}

bool Schema::isSubtype(const AttributeType* type, const AttributeType* base) {
    for (int depth = 0; type != nullptr && depth < kMaxChain; ++depth, type = type->parent) {
        if (type == base) return true;
    }
    return false;
}

bool Schema::inherits(const ObjectClass* cls, const ObjectClass* base) {
    // Breadth-first over the superclasses, bounded against cycles.
    std::vector<const ObjectClass*> pending{cls};
    for (std::size_t i = 0; i < pending.size() && i < 4 * kMaxChain; ++i) {
        if (pending[i] == base) return true;
        for (const ObjectClass* parent : pending[i]->parents)
            pending.push_back(parent);
    }
    return false;
}

std::vector<const AttributeType*> Schema::subtypesOf(const AttributeType* base) const {
    std::vector<const AttributeType*> out;
    for (const auto& type : attributes_) {
        if (isSubtype(type.get(), base)) out.push_back(type.get());
    }
    return out;
}

const Schema& Schema::builtin() {
    static const Schema* schema = [] {
        auto* built = new Schema();
        built->addText(builtinText(), "built-in schema");
        built->resolve();
        return built;
    }();
    return *schema;
}

const Schema& Schema::process() {
    static const Schema* schema = [] {
        auto* built = new Schema();
        const char* configured = std::getenv("QDX_SCHEMA");
        if (configured != nullptr && configured[0] != '\0') {
            std::stringstream paths(configured);
            for (std::string path; std::getline(paths, path, ':');) {
                if (!path.empty()) built->addPath(path);
            }
        } else {
            for (const char* name : {"core", "cosine", "inetorgperson", "nis"}) {
                std::string path = std::string("/etc/ldap/schema/") + name + ".schema";
                struct stat info {};
                if (::stat(path.c_str(), &info) == 0) built->addPath(path);
            }
        }
        // The built-in text completes the files: they leave out the types and classes a
        // server defines itself, and without files it is the whole schema.
        built->addMissing(builtin());
        built->resolve();
        for (const SchemaProblem& problem : built->problems()) {
            std::fprintf(stderr, "WARNING: schema: %s\n", problem.text().c_str());
        }
        return built;
    }();
    return *schema;
}

}  // namespace dirschema
