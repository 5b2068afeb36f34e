// ovkcimhost: a minimal CIM host for trying a CMPI instance provider without a CIM server. It
// loads the provider library, creates the provider through NAME_Create_InstanceMI with a
// recording broker, runs one operation of its function table on a namespace and class, prints
// what the provider returned and the status, and frees the objects it made.
//
//   ovkcimhost LIBRARY NAME NAMESPACE CLASS OPERATION [KEY=VALUE ...]
//
// OPERATION: enumInstanceNames, enumInstances, getInstance, createInstance, setInstance,
// deleteInstance, execQuery or cleanup; KEY=VALUE pairs become text keys of the request's
// object path (getInstance DeviceID=3). Output lines:
//   path NAMESPACE:CLASS.KEY="VALUE",...
//   instance NAMESPACE:CLASS...
//     NAME TYPE VALUE            (one per property of the instance above)
//   done N
//   status RC
// Exit status: 0 when the operation ran, 1 when the provider cannot be loaded, 2 for usage.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "RecordingBroker.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: ovkcimhost LIBRARY NAME NAMESPACE CLASS OPERATION [KEY=VALUE ...]\n"
                 "  OPERATION: enumInstanceNames enumInstances getInstance createInstance\n"
                 "             setInstance deleteInstance execQuery cleanup\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 6) return usage();
    const std::string library = argv[1], name = argv[2], nameSpace = argv[3], className = argv[4],
                      operation = argv[5];

    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "ovkcimhost: cannot load %s: %s\n", library.c_str(), ::dlerror());
        return 1;
    }
    const std::string factoryName = name + "_Create_InstanceMI";
    auto factory = reinterpret_cast<CMPICreateInstanceMI>(::dlsym(handle, factoryName.c_str()));
    if (!factory) {
        std::fprintf(stderr, "ovkcimhost: %s has no %s\n", library.c_str(), factoryName.c_str());
        ::dlclose(handle);
        return 1;
    }

    int exitCode = 0;
    {
        RecordingBroker broker;
        CMPIInstanceMI* mi = factory(broker.broker(), broker.context());
        if (!mi || !mi->ft) {
            std::fprintf(stderr, "ovkcimhost: %s returned no provider\n", factoryName.c_str());
            return 1;
        }
        CMPIObjectPath* ref = broker.NewPath(nameSpace, className);
        for (int i = 6; i < argc; ++i) {
            const char* eq = std::strchr(argv[i], '=');
            if (!eq) return usage();
            RecordingBroker::AddKey(ref, std::string(argv[i], static_cast<size_t>(eq - argv[i])), eq + 1);
        }
        CMPIInstance* inst = CMNewInstance(broker.broker(), ref, nullptr);
        char* noProperties[] = {nullptr};
        char lang[] = "WQL", query[] = "";
        CMPIContext* ctx = broker.context();
        CMPIResult* rslt = broker.result();
        CMPIInstanceMIFT* ft = mi->ft;
        CMPIStatus status{CMPI_RC_OK, nullptr};
        if (operation == "enumInstanceNames") status = ft->enumInstanceNames(mi, ctx, rslt, ref);
        else if (operation == "enumInstances") status = ft->enumInstances(mi, ctx, rslt, ref, noProperties);
        else if (operation == "getInstance") status = ft->getInstance(mi, ctx, rslt, ref, noProperties);
        else if (operation == "createInstance") status = ft->createInstance(mi, ctx, rslt, ref, inst);
        else if (operation == "setInstance") status = ft->setInstance(mi, ctx, rslt, ref, inst, noProperties);
        else if (operation == "deleteInstance") status = ft->deleteInstance(mi, ctx, rslt, ref);
        else if (operation == "execQuery") status = ft->execQuery(mi, ctx, rslt, ref, lang, query);
        else if (operation == "cleanup") status = ft->cleanup(mi, ctx);
        else exitCode = usage();

        if (exitCode == 0) {
            for (const std::string& path : broker.ReturnedPaths()) std::printf("path %s\n", path.c_str());
            for (const RecordingBroker::Instance& i : broker.ReturnedInstances()) {
                std::printf("instance %s\n", i.path.c_str());
                for (const RecordingBroker::Property& p : i.properties)
                    std::printf("  %s %s %s\n", p.name.c_str(), p.type.c_str(), p.value.c_str());
            }
            std::printf("done %d\n", broker.DoneCount());
            std::printf("status %u\n", status.rc);
        }
    }
    std::fflush(stdout);
    // The provider stays loaded until the end, as in a CIM server: what it keeps for its life
    // (its text copies) stays reachable.
    return exitCode;
}
