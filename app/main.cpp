// main.cpp -- entry point of the morphing workstation.
#include "app/shell.h"

int main(int argc, char** argv) { return mw::runWorkstation(argc, argv); }
