// The stand-in capture device the Wine tests register: which classes the DLL
// serves and where it writes what it received.
#pragma once

namespace capture_filter {

// A filter that accepts every property.
constexpr char kAcceptingClsid[] = "{B1D0A7C1-5E2F-4C3A-9D8E-7F6A5B4C3D21}";
// A filter that refuses every property (E_PROP_ID_UNSUPPORTED).
constexpr char kRefusingClsid[] = "{B1D0A7C1-5E2F-4C3A-9D8E-7F6A5B4C3D22}";
// A filter without a property set interface.
constexpr char kNoPropertySetClsid[] = "{B1D0A7C1-5E2F-4C3A-9D8E-7F6A5B4C3D23}";
// Never registered as a server: binding a device of this class fails.
constexpr char kUnboundClsid[] = "{B1D0A7C1-5E2F-4C3A-9D8E-7F6A5B4C3D24}";

// The log file: this environment variable, else the fixed path. One line per
// event, tab-separated:
//   bind <name> <ms>
//   set <name> <set guid> <id> <instance length> <property length>
//       <instance bytes hex> <property bytes hex> <result hex> <ms>
constexpr char kLogVariable[] = "BINDORA_CAPTURE_LOG";
constexpr char kDefaultLog[] = "C:\\rig\\capture.log";

}  // namespace capture_filter
