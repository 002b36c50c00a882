// Built with the mingw toolchain only, whose C++ runtime is linked into Kestrune.dll.
//
// That runtime takes a block from the host's heap for its emergency exception pool when the
// module is loaded, and on its own never gives it back: a host that unloads the plug-in and
// loads it again would lose the block each time. The runtime's own release call is made
// when the module's static objects are destroyed, at unload.

namespace __gnu_cxx {
void __freeres();
}

namespace {

struct StaticRuntimeRelease {
    ~StaticRuntimeRelease() { __gnu_cxx::__freeres(); }
};

StaticRuntimeRelease staticRuntimeRelease;

}
