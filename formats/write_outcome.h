#pragma once
// What a writer did with the file it was asked to make. The callers turn it into their result
// lines; nobody reads a line's text back.

enum class WriteOutcome {
    Written,         // the file was made
    AlreadyExisted,  // a file of that name was there and was left alone
    Refused,         // nothing was written, and the user was told why (a picture without pixels)
};
