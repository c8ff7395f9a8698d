#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Misbehaviours the simulated Box can be asked for, so that the peer's
// handling of a faulty Box can be tested.
enum class BoxFault {
    UnknownKeywords,  // junk keyword before every status record
    TruncatedRecords, // first "time" of each file cut short, then a pause
    CloseMidFile,     // drop the pair halfway through the first file
    ReadNothing,      // stop reading the data connection after "L"
    AnswerNothing,    // never write a status record
    ImageHalfway,     // stop fetching a firmware image halfway through
    RefuseManifest,   // turn every firmware manifest down
    FailWrite,        // a whole image arrives, then writing it fails ("done" -1)
    CloseAfterImage,  // a whole image arrives, then the pair closes without "done"
};

// The command line of vellumo-boxsim. Adding an option: a field here, a line
// in parse() and one in usage().
struct BoxOptions {
    std::string address = "127.0.0.1";
    uint16_t port = 7171;
    std::string logPath;                   // JSON-lines event log; none when empty
    std::string outputDir;                 // received files are written here when set
    int64_t rateBytes = 1048576;           // bytes per simulated time unit
    uint64_t version = 0x0000000700020003; // the firmware version it reports
    uint64_t mac = 0x0000A1B2C3D4E5F6;
    int32_t maxVolume = 100;
    int64_t readRateBytes = 0; // file bytes read per second; 0: as fast as they come
    bool isHashing = true;     // --no-hash: skip the SHA-256 (benchmarks)
    bool isNoDelay = false;    // --tcp-nodelay: status records skip Nagle's wait
    std::string upnpInterface; // announce by UPnP on this interface when set
    std::string friendlyName = "Vellumo Box Simulator";
    uint16_t httpPort = 80;    // the setup page, on the same address
    int64_t flashTimeMs = 500; // how long writing a firmware image takes
    std::set<BoxFault> faults;

    bool has(BoxFault fault) const { return faults.count(fault) != 0; }

    // Parses argv[1..]; on failure returns nothing and sets error.
    static std::optional<BoxOptions> parse(const std::vector<std::string>& args,
                                           std::string& error);
    static std::string usage();
};
