#include "spardyn/error.hpp"

namespace spardyn {

std::string Error::identifier() const {
  switch (reason_) {
    case Reason::NonHandle: return "VRK:spardyn:NonHandle";
    case Reason::WrongSize: return "VRK:spardyn:WrongSize";
    case Reason::Invalid:   return "VRK:spardyn:Invalid";
    case Reason::Empty:     return "VRK:spardyn:empty";
    case Reason::Conform:   return "VRK:spardyn:conform";
    case Reason::None:      break;
  }
  return "";
}

void fail(Reason reason, const std::string& message) {
  throw Error(reason, message);
}

}  // namespace spardyn
