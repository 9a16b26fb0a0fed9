#ifndef DIRCLIENT_SCHEMA_H
#define DIRCLIENT_SCHEMA_H

// Attribute types and object classes read from schema files in the text form of slapd
// configuration files ("attributetype ( OID NAME ... )", RFC 4512 definitions), which the
// LDAP matching mode of the flat-file directory needs: the rules each attribute type
// compares with, its supertypes and the superclasses of each object class.

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace dirschema {

struct AttributeType {
    std::string oid;
    std::vector<std::string> names;          // as written; the first is the canonical one
    std::string sup;                         // supertype name or OID, empty for none
    std::string equality, ordering, substr;  // matching rule names or OIDs as written
    std::string syntax;                      // syntax OID without length bound
    bool singleValue = false;
    const AttributeType* parent = nullptr;  // resolved sup, null when none or unknown
};

struct ObjectClass {
    std::string oid;
    std::vector<std::string> names;
    std::vector<std::string> sups;
    std::vector<std::string> must, may;
    std::vector<const ObjectClass*> parents;  // resolved sups
};

// A definition the parser did not understand, with where it was.
struct SchemaProblem {
    std::string file;
    int line = 0;
    std::string message;
    std::string text() const;  // "file:line: message"
};

class Schema {
  public:
    // Adds the definitions in text (a schema file's contents; file names it in problems).
    // Definitions that cannot be read are skipped and described in problems().
    void addText(const std::string& text, const std::string& file);
    // Reads a file, or every "*.schema" file of a folder in name order; false (with a
    // problem) when it cannot be read.
    bool addPath(const std::string& path);
    // Adds the definitions of other whose OIDs this schema lacks: server schema files
    // leave out what a server defines itself (objectClass, name, top, ...).
    void addMissing(const Schema& other);
    // Links supertypes and superclasses; call once after the last add.
    void resolve();

    // By name or OID, case ignored; null when unknown.
    const AttributeType* attribute(const std::string& name) const;
    const ObjectClass* objectClass(const std::string& name) const;

    // The first rule along the supertype chain (an empty text when none).
    static const std::string& equalityOf(const AttributeType* type);
    static const std::string& orderingOf(const AttributeType* type);
    static const std::string& substrOf(const AttributeType* type);
    static const std::string& syntaxOf(const AttributeType* type);
    // Whether type is base or one of its subtypes.
    static bool isSubtype(const AttributeType* type, const AttributeType* base);
    // Whether cls is base or inherits from it.
    static bool inherits(const ObjectClass* cls, const ObjectClass* base);
    // base and every attribute type whose supertype chain reaches it.
    std::vector<const AttributeType*> subtypesOf(const AttributeType* base) const;

    const std::vector<SchemaProblem>& problems() const { return problems_; }
    std::size_t attributeCount() const { return attributes_.size(); }

    // The definitions written into the library (core, cosine, inetOrgPerson, NIS subsets),
    // as text and as a schema read from it once.
    static const char* builtinText();
    static const Schema& builtin();

    // The schema of the process, built on first use: the files named by the environment
    // variable QDX_SCHEMA (files or folders separated by ':'); without it the
    // files core, cosine, inetorgperson and nis of /etc/ldap/schema that exist; completed
    // by the built-in definitions whose OIDs they lack (all of them when no file could be
    // read). Problems go to standard error once.
    static const Schema& process();

  private:
    friend class SchemaReader;
    void addAttribute(AttributeType type);
    void addObjectClass(ObjectClass cls);

    std::vector<std::unique_ptr<AttributeType>> attributes_;
    std::vector<std::unique_ptr<ObjectClass>> classes_;
    std::unordered_map<std::string, AttributeType*> attributeIndex_;  // lower-cased keys
    std::unordered_map<std::string, ObjectClass*> classIndex_;
    std::vector<SchemaProblem> problems_;
};

}  // namespace dirschema

#endif
