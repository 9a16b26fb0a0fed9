#ifndef DIRCLIENT_DNS_ANSWER_TEST_SUPPORT_H
#define DIRCLIENT_DNS_ANSWER_TEST_SUPPORT_H

#include <string>

namespace dirclient::ldapaccess::test {

// The start of a DNS answer: the header, then "questions" questions for "a.b" of the given
// type; the caller appends the answer records.
inline std::string dns_answer_header(int questions, int answers, char question_type) {
    std::string msg("\x12\x34\x81\x80", 4);
    msg += std::string(1, '\0') + static_cast<char>(questions);
    msg += std::string(1, '\0') + static_cast<char>(answers);
    msg += std::string("\x00\x00\x00\x00", 4);
    for (int i = 0; i < questions; ++i)
        msg += std::string(
                   "\x01"
                   "a\x01"
                   "b\x00\x00",
                   6) +
               question_type + std::string("\x00\x01", 2);
    return msg;
}

}  // namespace dirclient::ldapaccess::test

#endif
