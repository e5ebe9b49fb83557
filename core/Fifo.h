// Named FIFOs of the host link. Each process reads one FIFO of its own,
// "/tmp/%05d#%05d" filled with the kernel's id and the owner's id; every
// peer writes into the reader's FIFO.
#pragma once

// Path of the FIFO read by `ownerPid` under kernel `kernelPid`, in one
// process-wide buffer that the next call overwrites.
const char *Fifo_Name(int kernelPid, int ownerPid);

// Creates the own FIFO (mode 0666, an existing FIFO is accepted) and opens it
// read-write and non-blocking: holding a writer ourselves means the FIFO
// never reports end-of-file and the open never blocks. Descriptor or -1
// with errno set.
int Fifo_OpenRead(int kernelPid, int ownPid);

// Opens the FIFO of `readerPid` for writing. The reader must exist: when no
// process holds it open the call fails with ENXIO instead of blocking.
// The descriptor is non-blocking: write through Msg_write or Msg_WriteAll,
// which wait a bounded time for room. Descriptor or -1 with errno set.
int Fifo_OpenWrite(int kernelPid, int readerPid);

// Closes the own FIFO and removes its file; the system error number left
// by closing (0 when all went well).
int Fifo_CloseRead(int kernelPid, int ownPid, int fd);

// Closes a FIFO opened for writing; the system error number left by closing.
int Fifo_CloseWrite(int kernelPid, int readerPid, int fd);
