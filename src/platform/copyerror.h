#pragma once

namespace vantora {

// What a copy, the naming of a copy or a flush came to. The failures a caller acts on are told apart by
// their kind; every failure keeps the system's errno it came from.
struct CopyError
{
    enum Kind
    {
        None,      // success
        Exists,    // the name is taken
        DiskFull,  // ENOSPC or EDQUOT
        Cancelled, // the cancel flag was seen
        Other,     // any other failure: errnoValue says which
    };
    Kind kind = None;
    int errnoValue = 0; // the system's errno: EEXIST for Exists, ECANCELED for Cancelled, 0 for None

    // 0 is success, ENOSPC and EDQUOT are a full disk, any other errno (EEXIST too) is Other.
    static CopyError fromErrno(int error);
    static CopyError exists();
    static CopyError cancelled();

    // True for a failure.
    explicit operator bool() const { return kind != None; }
    friend bool operator==(const CopyError &, const CopyError &) = default;

    // The number a message shows for it ("CopyFileEx: 112"): a taken name, a full disk and a cancel show the
    // codes CopyFileEx gave them (80, 112, 1235), any other failure its errno, success 0.
    int shownNumber() const;
};

} // namespace vantora
