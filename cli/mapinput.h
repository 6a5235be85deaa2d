#pragma once

#include <string>

// How quillet-map reads one FILE argument: by name, as the engine reads any file it can
// measure, or once from its start to its end, as a stream.
struct CMapInput {
    CMapInput() = default;
    CMapInput(const CMapInput&) = delete;
    CMapInput& operator=(const CMapInput&) = delete;
    ~CMapInput();

    std::string strName;  // as given: what messages call it
    std::string strPath;  // what a reader opens: the name, or standard input's link in /proc
    bool bStream = false; // a pipe, a FIFO, a terminal: no length to know beforehand
    std::string strKind;  // what a stream is, for the modes that refuse one ("a pipe")
    int nFd = -1;         // a stream's descriptor once open
    bool bOwnFd = false;  // standard input stays open; a FIFO opened here is closed here
};

// Looks strName up without opening it; "-" is standard input, nStdin. Returns "" with input
// filled in, or why the file is not compared: a system text, or what the file is ("is a
// character device, not compared"), as opening a device can already act on it.
std::string ClassifyInput(const std::string& strName, int nStdin, CMapInput& input);

// Opens a stream that has a name (a FIFO), waiting for its writer as any reader of a FIFO
// does. Returns "" or the reason it could not be opened.
std::string OpenStream(CMapInput& input);
