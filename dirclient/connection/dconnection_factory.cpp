// DConnection's factory methods: model objects created and destroyed on the application's
// behalf, so that every one of them comes from, and goes back to, the library's own
// allocators whatever allocator the application itself uses.

#include <new>

#include "dconnection.h"
#include "object_memory.h"

AttributeSet* DConnection::newAttributeSet() {
    return new (HEAP) AttributeSet();
}

Attribute* DConnection::newAttribute() {
    return new (HEAP) Attribute();
}

Attribute* DConnection::newAttribute(const char* name) {
    return new (HEAP) Attribute(name);
}

Attribute* DConnection::newAttribute(const char* name, Dbinary* value) {
    return new (HEAP) Attribute(name, value);
}

Attribute* DConnection::newAttribute(const char* name, int value) {
    return new (HEAP) Attribute(name, value);
}

Attribute* DConnection::newAttribute(const char* name, const char* value) {
    return new (HEAP) Attribute(name, value);
}

DEntry* DConnection::newDEntry() {
    return new (HEAP) DEntry();
}

DEntry* DConnection::newDEntry(const char* dn) {
    return new (HEAP) DEntry(dn);
}

DEntry* DConnection::newDEntry(const char* dn, AttributeSet* set) {
    return new (HEAP) DEntry(dn, set);
}

DListItem* DConnection::newDListItem() {
    return new (HEAP) DListItem();
}

DListItem* DConnection::newDListItem(void* value, int type, void (*)(void*)) {
    return new (HEAP) DListItem(value, type);
}

DList* DConnection::newDList() {
    return new (HEAP) DList();
}

CompareAttrNames* DConnection::newCompareAttrNames(const char* name) {
    return new (std::nothrow) CompareAttrNames(name);
}

CompareAttrNames* DConnection::newCompareAttrNames(const char* name, bool order) {
    return new (std::nothrow) CompareAttrNames(name, order);
}

CompareAttrNames* DConnection::newCompareAttrNames(DList* names) {
    return new (std::nothrow) CompareAttrNames(names);
}

CompareAttrNames* DConnection::newCompareAttrNames(DList* names, DList* orders, DException** out) {
    return new (std::nothrow) CompareAttrNames(names, orders, out);
}

DException* DConnection::newDException() {
    return new (std::nothrow) DException();
}

DException* DConnection::newDException(const char* info) {
    return new (std::nothrow) DException(info);
}

DException* DConnection::newDException(const char* info, int code, const char* sinfo) {
    return new (std::nothrow) DException(info, code, sinfo);
}

DException* DConnection::newDException(const char* info, int code, const char* sinfo,
                                       const char* extra) {
    return new (std::nothrow) DException(info, code, sinfo, extra);
}

Modification* DConnection::newModification() {
    return new (std::nothrow) Modification();
}

Modification* DConnection::newModification(int op, Attribute* attribute) {
    return new (std::nothrow) Modification(op, attribute);
}

ModificationSet* DConnection::newModificationSet() {
    return new (std::nothrow) ModificationSet();
}

Results* DConnection::newResults() {
    return new (std::nothrow) Results();
}

SearchResults* DConnection::newSearchResults() {
    return new (std::nothrow) SearchResults();
}

SearchConstraints* DConnection::newSearchConstraints() {
    return new (std::nothrow) SearchConstraints();
}

SearchConstraints* DConnection::newSearchConstraints(int timeLimit, int maxResults) {
    return new (std::nothrow) SearchConstraints(timeLimit, maxResults);
}

// The model classes with their own allocator release themselves through their operator
// delete; the others through the ordinary one. delete of a null pointer does nothing.
void DConnection::deleteObject(AttributeSet* object) {
    delete object;
}
void DConnection::deleteObject(Attribute* object) {
    delete object;
}
void DConnection::deleteObject(DEntry* object) {
    delete object;
}
void DConnection::deleteObject(DListItem* object) {
    delete object;
}
void DConnection::deleteObject(DList* object) {
    delete object;
}
void DConnection::deleteObject(CompareAttrNames* object) {
    delete object;
}
void DConnection::deleteObject(DException* object) {
    delete object;
}
void DConnection::deleteObject(Modification* object) {
    delete object;
}
void DConnection::deleteObject(ModificationSet* object) {
    delete object;
}
void DConnection::deleteObject(Results* object) {
    delete object;
}
void DConnection::deleteObject(SearchResults* object) {
    delete object;
}
void DConnection::deleteObject(SearchConstraints* object) {
    delete object;
}

void DConnection::freeString(const char* text) {
    check_free(const_cast<char*>(text));
}
