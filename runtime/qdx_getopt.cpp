#include "qdx_getopt.h"

#include <cstdio>
#include <cstring>

extern "C" {
char* optarg = nullptr;
int optind = 0;
int opterr = 1;
int optopt = '?';
}

namespace {

// Position inside the argument being scanned; null between arguments.
const char* place = nullptr;
// A new argument is due; when neither this nor `place` is set, the scan has ended.
bool argument_due = false;

int fail(const char* message, const char* program, int c, bool colon_mode) {
    if (opterr) fprintf(stderr, message, program, c);
    optopt = c;
    return colon_mode ? ':' : '?';
}

void step_if_used_up() {
    if (place && *place == '\0') {
        ++optind;
        place = nullptr;
        argument_due = true;
    }
}

int end_scan() {
    place = nullptr;
    argument_due = false;
    return -1;
}

}  // namespace

extern "C" int qdx_getopt(int argc, char* const argv[], const char* optstring) {
    bool colon_mode = optstring[0] == ':';
    const char* options = optstring;
    if (*options == '+' || *options == '-') ++options;
    colon_mode = colon_mode || *options == ':';
    optarg = nullptr;

    if (optind == 0) {
        optind = 1;
        place = nullptr;
        argument_due = true;
    } else if (!place && !argument_due) {
        return -1;
    }
    if (optind >= argc) return end_scan();
    if (argument_due) {
        const char* arg = argv[optind];
        if (arg[0] != '-' || arg[1] == '\0') return end_scan();
        if (strcmp(arg, "--") == 0) {
            ++optind;
            return end_scan();
        }
        place = arg + 1;
        argument_due = false;
    }

    const char* program = argv[0] ? argv[0] : "";
    int c = static_cast<unsigned char>(*place++);
    const char* entry = c == ':' ? nullptr : strchr(options, c);
    if (!entry) {
        int result = fail("%s: illegal option -- %c\n", program, c, colon_mode);
        step_if_used_up();
        return result;
    }
    if (entry[1] == ':') {
        if (*place) {
            optarg = const_cast<char*>(place);
            place += strlen(place);
        } else if (entry[2] != ':') {
            if (optind + 1 >= argc) {
                int result =
                    fail("%s: option requires an argument -- %c\n", program, c, colon_mode);
                optind = argc;
                end_scan();
                return result;
            }
            optarg = argv[++optind];
        }
    }
    step_if_used_up();
    return c;
}
