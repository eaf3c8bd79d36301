/*
 * raw_io: the I/O floors of loading an edge-list file, with no parsing.
 *
 *   raw_io <plain|gzip> <path> <repeats>
 *
 * prints one JSON object with the best time in seconds over the repeats of
 *   read     reading every byte of the file with read(2) into a 1 MiB buffer
 *   inflate  (gzip only) reading and inflating every member with zlib into a
 *            1 MiB buffer, the output dropped
 *   bytes    the size of the text the loader has to parse
 * It uses only the C library and zlib, so it measures the same thing whatever
 * the module's reader looks like inside.
 */
#define _POSIX_C_SOURCE 200809L
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#define BUFFER_BYTES (1u << 20)

static unsigned char input[BUFFER_BYTES];
static unsigned char output[BUFFER_BYTES];

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static int open_or_die(const char *path)
{
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        perror(path);
        exit(1);
    }
    return fd;
}

static unsigned long long read_all(const char *path)
{
    int fd = open_or_die(path);
    unsigned long long total = 0;
    ssize_t got;
    while ((got = read(fd, input, BUFFER_BYTES)) > 0)
        total += (unsigned long long)got;
    close(fd);
    if (got < 0) {
        perror(path);
        exit(1);
    }
    return total;
}

/* Drains the stream's pending input through inflate; returns bytes produced. */
static unsigned long long drain(z_stream *stream, const char *path)
{
    unsigned long long produced = 0;
    do {
        stream->next_out = output;
        stream->avail_out = BUFFER_BYTES;
        int status = inflate(stream, Z_NO_FLUSH);
        produced += BUFFER_BYTES - stream->avail_out;
        if (status == Z_STREAM_END) {
            inflateReset(stream); /* a gzip file may hold several members */
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            fprintf(stderr, "%s: inflate failed (%d)\n", path, status);
            exit(1);
        }
    } while (stream->avail_in > 0 || stream->avail_out == 0);
    return produced;
}

static unsigned long long inflate_all(const char *path)
{
    z_stream stream;
    memset(&stream, 0, sizeof stream);
    if (inflateInit2(&stream, 15 + 16) != Z_OK) {
        fprintf(stderr, "inflateInit2 failed\n");
        exit(1);
    }
    int fd = open_or_die(path);
    unsigned long long produced = 0;
    ssize_t got;
    while ((got = read(fd, input, BUFFER_BYTES)) > 0) {
        stream.next_in = input;
        stream.avail_in = (uInt)got;
        produced += drain(&stream, path);
    }
    close(fd);
    inflateEnd(&stream);
    return produced;
}

typedef unsigned long long (*Stage)(const char *);

static double best_of(int repeats, Stage stage, const char *path, unsigned long long *bytes)
{
    double best = 1e300;
    for (int i = 0; i < repeats; i++) {
        double start = now();
        *bytes = stage(path);
        double took = now() - start;
        if (took < best)
            best = took;
    }
    return best;
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: %s <plain|gzip> <path> <repeats>\n", argv[0]);
        return 2;
    }
    int gzip = strcmp(argv[1], "gzip") == 0;
    const char *path = argv[2];
    int repeats = atoi(argv[3]);
    if (repeats < 1)
        repeats = 1;
    unsigned long long bytes = 0;
    double read_time = best_of(repeats, read_all, path, &bytes);
    double inflate_time = -1;
    if (gzip)
        inflate_time = best_of(repeats, inflate_all, path, &bytes);
    printf("{\"read\": %.6f, \"inflate\": %.6f, \"bytes\": %llu}\n", read_time, inflate_time,
           bytes);
    return 0;
}
