#ifndef DIRCLIENT_FFNODE_H
#define DIRCLIENT_FFNODE_H

#include "dirclient_export.h"

// One node of the flat-file directory tree. The root holds no entry (unless an entry with
// the empty DN was added); every other node holds one entry under its normalised DN, and
// its children are the entries one RDN below it, in insertion order.
//
// The store keeps its entries packed (see ffrecord.h); getEntry() unpacks a node's entry
// for good, after which the node holds that DEntry and changes made to it are the store's.
// Nodes of the process-wide store (ffconnection.h) are guarded by the store lock: hold
// FFConnection::lock() while using them directly. Changing a stored entry's DN other than
// through FFConnection::rename leaves the store's DN index stale.

#include <cstddef>
#include <cstdio>

#include "object_memory.h"

class Attribute;
class AttributeSet;
class DEntry;
class DException;
class DFilter;
namespace dirschema {
class LdapFilter;
}
class DList;
class DListItem;
class FFIndex;
class FFRecord;
class Modification;
class SearchResults;

class FFNode : public ObjectMemory {
  public:
    // Takes the entry over (null for the root).
    DIRCLIENT_API FFNode(FFNode* parent, DEntry* entry);
    // Deletes the whole subtree below, then the entry.
    DIRCLIENT_API ~FFNode();
    FFNode(const FFNode&) = delete;
    FFNode& operator=(const FFNode&) = delete;

    FFNode* getParent() const { return parent; }
    // The node's entry (null when it has none), unpacked on first use.
    DIRCLIENT_API DEntry* getEntry();
    // The DN of the node's entry without unpacking it; null when it has none.
    DIRCLIENT_API const char* getDN() const;
    bool hasEntry() const { return entry != nullptr || record != nullptr; }
    // The children (FFNode* values of untyped items) in insertion order; null before the
    // first child.
    DList* getChildren() const { return children; }

    // Deletes the current entry and takes over the new one.
    DIRCLIENT_API bool setEntry(DEntry* entry);
    // Deletes the entry; the node keeps its place without one.
    DIRCLIENT_API void resetEntry();
    DIRCLIENT_API bool hasChildren() const;

    // Appends a new child holding entry (taken over) and returns it.
    DIRCLIENT_API FFNode* add(DEntry* entry);
    // Unlinks this node from its parent and deletes it with its subtree. Not for the root.
    DIRCLIENT_API void remove();

    // The node in this subtree whose entry has the normalised DN dn (case ignored); the
    // empty DN names this node. Null when there is none.
    DIRCLIENT_API FFNode* findNode(const char* dn);
    // findNode of the parent DN of dn; null when dn has a single RDN.
    DIRCLIENT_API FFNode* findParent(const char* dn);

    // Appends to results a genEntry copy of every entry of scope (0 this node, 1 its
    // children, 2 this node and its whole subtree in pre-order) that filter accepts (a null
    // filter accepts all). Returns how many were added.
    DIRCLIENT_API int search(int scope, DFilter* filter, DList* attrs, bool typesOnly,
                             SearchResults* results);
    // The same with a filter evaluated as an LDAP server does (ldap_filter.h).
    DIRCLIENT_API int search(int scope, const dirschema::LdapFilter& filter, DList* attrs,
                             bool typesOnly, SearchResults* results);
    // A new entry answering a read: a deep copy of entry, or with attrs (a list of names)
    // the same DN and copies of the named attributes in the order of the names. typesOnly
    // drops the values.
    DIRCLIENT_API static DEntry* genEntry(DEntry* entry, DList* attrs, bool typesOnly);

    // Writes this node's entry and then each child's subtree (pre-order) as LDIF. Stops at
    // the first write error, which is reported through err; returns false then.
    DIRCLIENT_API bool save(FILE* file, DException** err);
    // Writes this node's entry as one LDIF record; nothing for a node without entry.
    DIRCLIENT_API bool writeEntry(FILE* file, DException** err);

    // Decode, in place, values stored in the "::" base64 form. Null is ignored.
    DIRCLIENT_API static void translateFromB64(DEntry* entry);
    DIRCLIENT_API static void translateFromB64(SearchResults* results);

    // Complete, independent copies (null for null). Entries, sets, attributes and lists are
    // SHAR blocks, list items HEAP, modifications ordinary objects. An item's value is
    // copied by its type (strings, binary values, numbers, attributes, modifications,
    // entries); other values are not copied and the copy holds none.
    DIRCLIENT_API static DEntry* copy(DEntry* entry);
    DIRCLIENT_API static AttributeSet* copy(AttributeSet* set);
    DIRCLIENT_API static DList* copy(DList* list);
    DIRCLIENT_API static DListItem* copy(DListItem* item);
    DIRCLIENT_API static Attribute* copy(Attribute* attribute);
    DIRCLIENT_API static Modification* copy(Modification* modification);

    // Destroy and release one object; null is ignored.
    DIRCLIENT_API static void freeEntry(DEntry* entry);
    DIRCLIENT_API static void freeAttribute(Attribute* attribute);
    DIRCLIENT_API static void freeModification(Modification* modification);
    DIRCLIENT_API static void freeNode(FFNode* node);

  private:
    friend class FFConnection;

    struct Packed {};
    FFNode(FFNode* parent, FFRecord* record, Packed);
    // The store's views of the entry, packed or not.
    DEntry* answer(DList* attrs, bool typesOnly);
    bool accepts(DFilter* filter);
    bool accepts(const dirschema::LdapFilter& filter);
    template <class Accepts>
    int searchWith(int scope, Accepts accepts, DList* attrs, bool typesOnly,
                   SearchResults* results);
    void replaceRecord(FFRecord* packed);
    FFNode* addIndexed(DEntry* entry, FFIndex* index);
    FFNode* addIndexed(FFRecord* packed, FFIndex* index);
    FFNode* attach(FFNode* child, FFIndex* index);
    void removeIndexed(FFIndex* index);
    void unlinkFromParent(DListItem* item);
    static void forgetSubtree(FFNode* top, FFIndex* index);
    FFIndex* storeIndex();

    FFNode* parent;
    DEntry* entry;
    DList* children;
    FFRecord* record;  // the entry in packed form; at most one of entry and record is set
};

#endif
