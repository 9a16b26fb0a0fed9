// ldifmigrate: rewrites an LDIF file of release 300/310 for release 320, record by record.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "record_processor.h"
#include "record_reader.h"

namespace {

void usage() {
    printf("\n");
    printf("Usage: ldifmigrate <input file> <output file>\n");
    printf("\n");
    printf("       Migrates an aXT v300/310 LDIF to an aXT v320 LDIF\n");
    printf("\n");
    printf("       <input filename>  - Name of the input file.\n");
    printf("       <output filename> - Name of the output file.\n");
}

// Opening the output with "w" would truncate the input before a byte of it was read.
// Devices such as /dev/null may well be both.
bool same_file(FILE* in, const char* output) {
    struct stat a, b;
    return fstat(fileno(in), &a) == 0 && S_ISREG(a.st_mode) && stat(output, &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The output holds what the input holds (password hashes, for instance), so it is no more
// readable than the input: created with the input's mode, and given that mode when it
// existed already. Devices such as /dev/null are left as they are.
FILE* open_output(FILE* in, const char* input, const char* output) {
    struct stat source;
    bool regular_input = fstat(fileno(in), &source) == 0 && S_ISREG(source.st_mode);
    mode_t mode = regular_input ? (source.st_mode & 0777) : 0666;
    int fd = open(output, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return nullptr;
    struct stat target;
    if (regular_input && fstat(fd, &target) == 0 && S_ISREG(target.st_mode) &&
        (target.st_mode & 0777) != mode && fchmod(fd, mode) != 0) {
        fprintf(stderr, "ldifmigrate: warning: cannot give %s the mode of %s: %s\n", output, input,
                strerror(errno));
    }
    FILE* out = fdopen(fd, "w");
    if (!out) close(fd);
    return out;
}

int run(const char* input, const char* output) {
    FILE* in = fopen(input, "r");
    if (!in) {
        perror(input);
        return 1;
    }
    if (same_file(in, output)) {
        fprintf(stderr, "ldifmigrate: %s and %s are the same file\n", input, output);
        fclose(in);
        return 1;
    }
    FILE* out = open_output(in, input, output);
    if (!out) {
        perror(output);
        fclose(in);
        return 1;
    }
    static char out_buffer[1 << 16];
    setvbuf(out, out_buffer, _IOFBF, sizeof out_buffer);

    bool malformed = false, read_failed = false, write_failed = false;
    int write_errno = 0;
    {
        RecordReader reader(in);
        RecordProcessor processor(out, input);
        RecordReader::Span span;
        while (reader.next_span(&span)) {
            int status = span.clean ? processor.write_unmigrated(span.text, span.length) : -1;
            if (status < 0)
                status = processor.process_ldif_rec(reader.assemble(span), reader.line_numbers(),
                                                    reader.nul_lines());
            if (status != 0) {
                write_failed = true;
                write_errno = errno;
                break;
            }
        }
        if (!write_failed && processor.flush() != 0) {
            write_failed = true;
            write_errno = errno;
        }
        malformed = processor.had_malformed_lines();
        read_failed = reader.failed();
    }
    fclose(in);
    // A full disk shows up at the latest when the buffered output is flushed.
    if (!write_failed && (ferror(out) || fflush(out) != 0)) {
        write_failed = true;
        write_errno = errno;
    }
    if (fclose(out) != 0 && !write_failed) {
        write_failed = true;
        write_errno = errno;
    }
    if (read_failed) fprintf(stderr, "ldifmigrate: error reading %s\n", input);
    if (write_failed)
        fprintf(stderr, "ldifmigrate: error writing %s: %s\n", output, strerror(write_errno));
    return read_failed || write_failed || malformed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        usage();
        return 1;
    }
    return run(argv[1], argv[2]);
}
