// Program entry of the Vordash interpreter.
#include "host/program_entry.h"

int main(int argc, char** argv) { return Karsto::programEntry(argc, argv); }
