// Per-connection transcript files written with --record DIR:
// conn-N.received, conn-N.records, conn-N.hello, conn-N.summary and
// conn-N.image-K.
#pragma once

#include <cstdio>
#include <string>

struct Transcript {
    std::string folder;     // where its files go; empty = no recording
    int number = 0;         // connection number, from 1
    int received_fd = -1;   // conn-N.received while the connection lives
    FILE* records = nullptr;  // conn-N.records while the connection lives
    int images = 0;         // images saved so far
};

// Starts the transcript of connection `number` in `folder` (empty: none).
void transcript_begin(Transcript& transcript, const std::string& folder, int number);
// What one read took: the data of one TLS record.
void transcript_received(Transcript& transcript, const char* data, size_t length);
// What one write sent (an answer, a chunk, image bytes).
void transcript_sent(Transcript& transcript, size_t length);
void transcript_hello(const Transcript& transcript, const std::string& text);
// The hello of a connection the processor declined (a protocol it does not
// speak), which counts as no connection: declined-N.hello in `folder`.
void transcript_declined_hello(const std::string& folder, int number, const std::string& text);
void transcript_image(Transcript& transcript, const std::string& bytes);
// Writes the summary line and closes everything of the connection.
void transcript_end(Transcript& transcript, const std::string& summary);
