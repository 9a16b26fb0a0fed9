// Normalisation and ordering by matching rule (RFC 4517). Values the server would refuse
// under a rule's syntax are reported as not valid, which makes the comparison Undefined
// as it is on a server.

#include "matching_rules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "schema.h"
#include "text_fold.h"

namespace dirschema {

namespace {

struct RuleName {
    const char* name;
    const char* oid;
    Rule rule;
};

constexpr RuleName kRules[] = {
    {"caseIgnoreMatch", "2.5.13.2", Rule::kCaseIgnore},
    {"caseIgnoreOrderingMatch", "2.5.13.3", Rule::kCaseIgnore},
    {"caseIgnoreSubstringsMatch", "2.5.13.4", Rule::kCaseIgnore},
    {"caseExactMatch", "2.5.13.5", Rule::kCaseExact},
    {"caseExactOrderingMatch", "2.5.13.6", Rule::kCaseExact},
    {"caseExactSubstringsMatch", "2.5.13.7", Rule::kCaseExact},
    {"numericStringMatch", "2.5.13.8", Rule::kNumericString},
    {"numericStringOrderingMatch", "2.5.13.9", Rule::kNumericString},
    {"numericStringSubstringsMatch", "2.5.13.10", Rule::kNumericString},
    {"caseIgnoreListMatch", "2.5.13.11", Rule::kCaseIgnoreList},
    {"caseIgnoreListSubstringsMatch", "2.5.13.12", Rule::kCaseIgnoreList},
    {"booleanMatch", "2.5.13.13", Rule::kBoolean},
    {"integerMatch", "2.5.13.14", Rule::kInteger},
    {"integerOrderingMatch", "2.5.13.15", Rule::kInteger},
    {"bitStringMatch", "2.5.13.16", Rule::kBitString},
    {"octetStringMatch", "2.5.13.17", Rule::kOctetString},
    {"octetStringOrderingMatch", "2.5.13.18", Rule::kOctetString},
    {"octetStringSubstringsMatch", "2.5.13.19", Rule::kOctetString},
    {"telephoneNumberMatch", "2.5.13.20", Rule::kTelephone},
    {"telephoneNumberSubstringsMatch", "2.5.13.21", Rule::kTelephone},
    {"uniqueMemberMatch", "2.5.13.23", Rule::kUniqueMember},
    {"generalizedTimeMatch", "2.5.13.27", Rule::kGeneralizedTime},
    {"generalizedTimeOrderingMatch", "2.5.13.28", Rule::kGeneralizedTime},
    {"objectIdentifierMatch", "2.5.13.0", Rule::kObjectIdentifier},
    {"distinguishedNameMatch", "2.5.13.1", Rule::kDistinguishedName},
    {"caseExactIA5Match", "1.3.6.1.4.1.1466.109.114.1", Rule::kCaseExactIA5},
    {"caseIgnoreIA5Match", "1.3.6.1.4.1.1466.109.114.2", Rule::kCaseIgnoreIA5},
    {"caseIgnoreIA5SubstringsMatch", "1.3.6.1.4.1.1466.109.114.3", Rule::kCaseIgnoreIA5},
    {"caseExactIA5SubstringsMatch", "1.3.6.1.4.1.4203.1.2.1", Rule::kCaseExactIA5},
};

bool sameNoCase(std::string_view a, const char* b) {
    std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool printable(std::string_view text) {
    static const char kExtra[] = " '()+,-./:?=";
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr(kExtra, c) != nullptr;
    });
}

void dropChars(std::string_view text, const char* drop, bool fold, std::string& out) {
    for (char c : text) {
        if (std::strchr(drop, c) != nullptr) continue;
        out += fold ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : c;
    }
}

// Lines separated by '$', each prepared on its own. Substrings pieces are prepared as
// one line, so that a piece holding " $ " finds nothing, as on a server.
void normalizeLines(std::string_view text, std::string& out) {
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find('$', start);
        prepareText(text.substr(start, end - start), true, out);
        if (end == std::string_view::npos) return;
        out += '$';
        start = end + 1;
    }
}

// [-]digits without leading zeros ("-0" is "0").
bool normalizeInteger(std::string_view text, std::string& out) {
    bool negative = !text.empty() && text[0] == '-';
    std::string_view digits = text.substr(negative ? 1 : 0);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit)) return false;
    std::size_t zeros = 0;
    while (zeros + 1 < digits.size() && digits[zeros] == '0')
        ++zeros;
    digits.remove_prefix(zeros);
    if (negative && digits != "0") out += '-';
    out.append(digits);
    return true;
}

int compareIntegers(const std::string& a, const std::string& b) {
    bool na = !a.empty() && a[0] == '-';
    bool nb = !b.empty() && b[0] == '-';
    if (na != nb) return na ? -1 : 1;
    int magnitude = a.size() != b.size() ? (a.size() < b.size() ? -1 : 1) : a.compare(b);
    if (magnitude != 0) magnitude = magnitude < 0 ? -1 : 1;
    return na ? -magnitude : magnitude;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long daysFromCivil(long y, long m, long d) {
    y -= m <= 2 ? 1 : 0;
    long era = (y >= 0 ? y : y - 399) / 400;
    long yoe = y - era * 400;
    long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long z, long* y, long* m, long* d) {
    z += 719468;
    long era = (z >= 0 ? z : z - 146096) / 146097;
    long doe = z - era * 146097;
    long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp + (mp < 10 ? 3 : -9);
    *y = yoe + era * 400 + (*m <= 2 ? 1 : 0);
}

// Reads n digits at text[*at] into *value.
bool digitsAt(std::string_view text, std::size_t* at, std::size_t n, long* value) {
    if (*at + n > text.size()) return false;
    *value = 0;
    for (std::size_t i = 0; i < n; ++i) {
        char c = text[*at + i];
        if (!isDigit(c)) return false;
        *value = *value * 10 + (c - '0');
    }
    *at += n;
    return true;
}

// YYYYMMDDHH[MM[SS]][(.|,)fraction](Z|(+|-)HH[MM]) as UTC "YYYYMMDDHHMMSS" followed by
// the fraction's digits without trailing zeros, which orders as text.
bool normalizeTime(std::string_view text, std::string& out) {
    std::size_t at = 0;
    long year, month, day, hour, minute = 0, second = 0;
    if (!digitsAt(text, &at, 4, &year) || !digitsAt(text, &at, 2, &month) ||
        !digitsAt(text, &at, 2, &day) || !digitsAt(text, &at, 2, &hour)) {
        return false;
    }
    if (at < text.size() && isDigit(text[at]) && digitsAt(text, &at, 2, &minute) &&
        at < text.size() && isDigit(text[at])) {
        if (!digitsAt(text, &at, 2, &second)) return false;
    }
    std::string fraction;
    if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
        ++at;
        while (at < text.size() && isDigit(text[at]))
            fraction += text[at++];
        if (fraction.empty()) return false;
        while (!fraction.empty() && fraction.back() == '0')
            fraction.pop_back();
    }
    long offset = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        long sign = text[at++] == '-' ? -1 : 1;
        long oh = 0, om = 0;
        if (!digitsAt(text, &at, 2, &oh)) return false;
        if (at < text.size() && !digitsAt(text, &at, 2, &om)) return false;
        if (oh > 23 || om > 59) return false;
        offset = sign * (oh * 60 + om);
    } else if (at >= text.size() || text[at++] != 'Z') {
        return false;
    }
    if (at != text.size() || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 60) {
        return false;
    }
    long minutes = daysFromCivil(year, month, day) * 1440 + hour * 60 + minute - offset;
    long days = minutes >= 0 ? minutes / 1440 : (minutes - 1439) / 1440;
    long rest = minutes - days * 1440;
    civilFromDays(days, &year, &month, &day);
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%04ld%02ld%02ld%02ld%02ld%02ld", year, month, day,
                  rest / 60, rest % 60, second);
    out += buffer;
    out += fraction;
    return true;
}

bool isDescr(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
    });
}

bool isNumericOid(std::string_view text) {
    if (text.empty() || text.front() == '.' || text.back() == '.') return false;
    if (text.find("..") != std::string_view::npos || text.find('.') == std::string_view::npos) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), [](char c) { return isDigit(c) || c == '.'; });
}

bool normalizeOid(std::string_view text, const Schema& schema, std::string& out) {
    if (isNumericOid(text)) {
        out.append(text);
        return true;
    }
    if (!isDescr(text)) return false;
    std::string name(text);
    if (const AttributeType* type = schema.attribute(name)) {
        out += type->oid;
        return true;
    }
    if (const ObjectClass* cls = schema.objectClass(name)) {
        out += cls->oid;
        return true;
    }
    for (char c : name)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return true;
}

// One "type=value" of a normalised DN: the type as its OID, the value prepared for
// case-ignoring comparison.
// The characters of an RDN value as written in a DN (RFC 4514): quotes taken off, "\XX"
// and "\c" escapes resolved.
std::string dnValueText(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 >= value.size()) {
            out += value[i];
        } else if (i + 2 < value.size() &&
                   std::isxdigit(static_cast<unsigned char>(value[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(value[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(value.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += value[++i];
        }
    }
    return out;
}

// Blanks around a type or value that are not escaped.
std::string_view trimDnBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (text.size() > 1 && text.back() == ' ' && text[text.size() - 2] != '\\') {
        text.remove_suffix(1);
    }
    if (text == " ") return {};
    return text;
}

bool normalizeAva(std::string_view ava, const Schema& schema, std::string& out) {
    std::size_t equals = ava.find('=');
    if (equals == std::string_view::npos) return false;
    std::string_view type = trimDnBlanks(ava.substr(0, equals));
    if (type.empty() || !normalizeOid(type, schema, out)) return false;
    out += '=';
    std::string prepared;
    prepareText(dnValueText(trimDnBlanks(ava.substr(equals + 1))), true, prepared);
    // Escaped again, so that the DN text stays unambiguous.
    for (char c : prepared) {
        if (std::strchr(",+\"\\<>;=", c) != nullptr) out += '\\';
        out += c;
    }
    return true;
}

bool normalizeDn(std::string_view text, const Schema& schema, std::string& out) {
    // Read here rather than through the model's canonical form, which keeps escapes as
    // written: "\4a" and "J" must compare equal.
    std::string_view dn = text;
    while (!dn.empty() && dn.front() == ' ')
        dn.remove_prefix(1);
    std::vector<std::string> avas;
    std::string ava;
    bool escaped = false, quoted = false, ok = true;
    auto flushRdn = [&](bool last) {
        std::sort(avas.begin(), avas.end());
        for (std::size_t i = 0; i < avas.size(); ++i)
            out += (i ? "+" : "") + avas[i];
        avas.clear();
        if (!last) out += ',';
    };
    auto flushAva = [&] {
        std::string one;
        ok = ok && normalizeAva(ava, schema, one);
        avas.push_back(one);
        ava.clear();
    };
    if (dn.empty()) return true;
    for (char c : dn) {
        if (!escaped && !quoted && (c == ',' || c == ';' || c == '+')) {
            flushAva();
            if (c != '+') flushRdn(false);
            continue;
        }
        if (!escaped && c == '"') quoted = !quoted;
        escaped = !escaped && c == '\\';
        ava += c;
    }
    flushAva();
    flushRdn(true);
    return ok;
}

}  // namespace

Rule ruleNamed(std::string_view name) {
    for (const RuleName& known : kRules) {
        if (sameNoCase(name, known.name) || name == known.oid) return known.rule;
    }
    return Rule::kNone;
}

bool normalize(Rule rule, std::string_view value, const Schema& schema, std::string& out) {
    out.clear();
    switch (rule) {
        case Rule::kCaseIgnore:
        case Rule::kCaseExact:
            if (value.empty()) return false;
            prepareText(value, rule == Rule::kCaseIgnore, out);
            return true;
        case Rule::kCaseIgnoreIA5:
        case Rule::kCaseExactIA5:
            if (!allAscii(value)) return false;
            prepareText(value, rule == Rule::kCaseIgnoreIA5, out);
            return true;
        case Rule::kCaseIgnoreList:
            if (value.empty()) return false;
            normalizeLines(value, out);
            return true;
        case Rule::kTelephone:
            if (!printable(value)) return false;
            dropChars(value, " -", true, out);
            return true;
        case Rule::kNumericString:
            if (value.empty() || !std::all_of(value.begin(), value.end(),
                                              [](char c) { return isDigit(c) || c == ' '; })) {
                return false;
            }
            dropChars(value, " ", false, out);
            return true;
        case Rule::kInteger:
            return normalizeInteger(value, out);
        case Rule::kGeneralizedTime:
            return normalizeTime(value, out);
        case Rule::kBoolean:
            out.append(value);
            return value == "TRUE" || value == "FALSE";
        case Rule::kObjectIdentifier:
            return normalizeOid(value, schema, out);
        case Rule::kDistinguishedName:
            return normalizeDn(value, schema, out);
        case Rule::kUniqueMember: {
            std::size_t hash = value.rfind("#'");
            std::string_view dn = hash == std::string_view::npos ? value : value.substr(0, hash);
            if (!normalizeDn(dn, schema, out)) return false;
            if (hash != std::string_view::npos) out.append(value.substr(hash));
            return true;
        }
        case Rule::kBitString:
        case Rule::kOctetString:
            out.append(value);
            return true;
        case Rule::kNone:
            return false;
    }
    return false;
}

bool validPiece(Rule rule, std::string_view piece) {
    switch (rule) {
        case Rule::kCaseIgnoreIA5:
        case Rule::kCaseExactIA5:
            return allAscii(piece);
        case Rule::kNumericString:
            return std::all_of(piece.begin(), piece.end(),
                               [](char c) { return isDigit(c) || c == ' '; });
        case Rule::kTelephone:
            return piece.empty() || printable(piece);
        default:
            return true;
    }
}

void normalizePiece(Rule rule, std::string_view piece, std::string& out) {
    out.clear();
    switch (rule) {
        case Rule::kTelephone:
            dropChars(piece, " -", true, out);
            return;
        case Rule::kNumericString:
            dropChars(piece, " ", false, out);
            return;
        case Rule::kCaseExact:
        case Rule::kCaseExactIA5:
            prepareText(piece, false, out, true);
            return;
        case Rule::kOctetString:
        case Rule::kBitString:
            out.append(piece);
            return;
        default:
            prepareText(piece, true, out, true);
            return;
    }
}

int compareNormalized(Rule rule, const std::string& a, const std::string& b) {
    if (rule == Rule::kInteger) return compareIntegers(a, b);
    int order = a.compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

}  // namespace dirschema
