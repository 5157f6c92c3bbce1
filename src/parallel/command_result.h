// How a command that reads digits ended: the dump, the search and the count.
#pragma once

namespace rovurer {

enum class command_result {
    shown,          // the digits asked for, or all up to the end of the data
    read_failed,    // a read of the data region came short
    write_failed,   // the output could not be written (out.error() says why)
    differ,         // two runs compared differ: the answer is found, nothing after it matters
    out_of_memory,  // a part could not get the memory to read with
};

}  // namespace rovurer
