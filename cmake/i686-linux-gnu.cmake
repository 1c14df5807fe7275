# 32-bit x86 with the host's compiler (-m32; Debian's libc6-dev-i386 and lib32gcc-12-dev, which
# gcc-multilib also brings); tests run under qemu-user, since a host kernel may run no 32-bit
# program of its own.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
