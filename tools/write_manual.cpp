// Writes the SYNOPSIS and OPTIONS that the option table makes into the
// manual page given, between its marker lines:
//   cmake --build BUILD --target manual
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/manual.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: write_manual doc/rovurer.1\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string made = rovurer::with_made_sections(text.str());
    if (!in || made.empty()) {
        std::cerr << argv[1] << ": cannot be read, or lacks the marker lines\n";
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << made;
    out.close();
    if (!out) {
        std::cerr << argv[1] << ": cannot be written\n";
        return 1;
    }
    return 0;
}
