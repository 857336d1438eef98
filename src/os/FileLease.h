// Leases the kernel keeps on an open file. A read lease holds the file's
// bytes as they are: while it is held, another process that opens the file
// for writing or truncates it waits until the lease is given back (or, when
// the holder does not answer, the system's lease-break time has passed). A
// write lease can only be had while no other open of the file exists.
#pragma once

namespace lorvant {

// Takes a lease of type F_RDLCK (fd open for reading only) or F_WRLCK (fd
// open for writing); false when the kernel refuses it: the file is open for
// writing elsewhere (F_RDLCK) or open at all elsewhere (F_WRLCK), is not
// this user's, or the file system keeps no leases. Someone asking for the
// lease then sends a signal that is ignored unless handled, never SIGIO.
bool TakeLease(int fd, int type);
// Whether someone waits for the lease on fd to be given back, or it is
// gone.
bool LeaseWanted(int fd);
// Gives the lease on fd back.
void GiveBackLease(int fd);

}  // namespace lorvant
