#ifndef DIRCLIENT_MODERN_MODIFY_H
#define DIRCLIENT_MODERN_MODIFY_H

// dirclient::Modify: the changes of one entry, written as a chain and applied in order by
// Connection::modify in one request:
//
//   conn.modify(dirclient::Modify(dn).replace("mail", "ann@example.com")
//                                     .add("telephoneNumber", {"+1 555 0100", "+1 555 0101"})
//                                     .remove("description"));
//
// Values are copied in, so the arguments may go away after the call.
// Threads: a value; distinct objects are independent.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace dirclient {

class Modify {
  public:
    enum class Op { Add, Remove, Replace };
    struct Change {
        Op op;
        std::string name;
        std::vector<std::string> values;  // Remove without values: the whole attribute
    };

    explicit Modify(std::string_view dn) : dn_(dn) {}

    Modify& add(std::string_view name, std::string_view value) {
        return push(Op::Add, name, {value});
    }
    Modify& add(std::string_view name, std::initializer_list<std::string_view> values) {
        return push(Op::Add, name, values);
    }
    // Replace: the attribute holds exactly these values afterwards.
    Modify& replace(std::string_view name, std::string_view value) {
        return push(Op::Replace, name, {value});
    }
    Modify& replace(std::string_view name, std::initializer_list<std::string_view> values) {
        return push(Op::Replace, name, values);
    }
    // Removes the whole attribute, or only the values named.
    Modify& remove(std::string_view name) { return push(Op::Remove, name, {}); }
    Modify& remove(std::string_view name, std::string_view value) {
        return push(Op::Remove, name, {value});
    }
    Modify& remove(std::string_view name, std::initializer_list<std::string_view> values) {
        return push(Op::Remove, name, values);
    }

    const std::string& dn() const { return dn_; }
    const std::vector<Change>& changes() const { return changes_; }

  private:
    Modify& push(Op op, std::string_view name, std::initializer_list<std::string_view> values) {
        changes_.push_back(
            {op, std::string(name), std::vector<std::string>(values.begin(), values.end())});
        return *this;
    }

    std::string dn_;
    std::vector<Change> changes_;
};

}  // namespace dirclient

#endif
