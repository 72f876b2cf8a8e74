"""Prints the I/O engine a console started from here must use: "io_uring"
where this process may set up a ring, "libaio" where the kernel or a seccomp
filter denies it. Asks the kernel directly, not the program under test."""
import ctypes
import os

IO_URING_SETUP = 425  # x86_64 and arm64 alike

libc = ctypes.CDLL(None, use_errno=True)
params = ctypes.create_string_buffer(120)  # struct io_uring_params, zeroed
fd = libc.syscall(IO_URING_SETUP, 1, params)
if fd >= 0:
    os.close(fd)
print("io_uring" if fd >= 0 else "libaio")
