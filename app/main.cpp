// main.cpp -- entry point of the morphing workstation.
#include <csignal>

#include "app/shell.h"

int main(int argc, char** argv) {
    // Under a file size limit a frame's write then fails with "File too large",
    // which is reported, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    return mw::runWorkstation(argc, argv);
}
