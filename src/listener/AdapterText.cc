// Request and answer texts of the adapters.
#include "listener/AdapterText.h"

#include "AppMgr/BCLsnException.h"
#include "AppMgr/Streamer.h"
#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrSharedPropDefines.h"

int AdapterRequestReader::readType() {
  int type = 0;
  in_ >> type;
  return type;
}

unsigned long AdapterRequestReader::next() {
  unsigned long value = 0;
  in_ >> value;
  if (in_.bad()) throw BCLsnException(static_cast<int>(XR_BAD_ARGS), "Bad Arguments specified.");
  return value;
}

std::string escapedToken(std::string value) {
  return transform_string_encode(value, TransformStringFromSymbol, TransformStringToSymbol);
}

int writeListLines(std::ostream& out, ListLine shape, const AdapterLists& lists, std::string& errorText) {
  const bool useIds = shape != ListLine::kName;
  const bool useNames = shape != ListLine::kId;
  const bool useFlags = shape == ListLine::kIdFlagName;
  // The lines are driven by the id list, or by the names where there are no ids.
  const size_t count = useIds ? lists.ids.size() : lists.names.size();
  if ((useNames && lists.names.size() != count) || (useFlags && lists.flags.size() != count)) {
    errorText = "The database returned lists of different lengths: " + std::to_string(lists.ids.size()) +
                " ids, " + std::to_string(lists.names.size()) + " names, " +
                std::to_string(lists.flags.size()) + " flags";
    return static_cast<int>(XR_INVALID_DATA);
  }

  auto id = lists.ids.begin();
  auto name = lists.names.begin();
  auto flag = lists.flags.begin();
  for (size_t i = 0; i < count; ++i) {
    if (useIds) out << *id++;
    if (useFlags) out << stream_ws << (*flag++ ? XR_APPMGR_PROP_TRUE_STR_VAL : XR_APPMGR_PROP_FALSE_STR_VAL);
    if (useNames) out << (useIds ? stream_ws : "") << escapedToken(*name++);
    out << '\n';
  }
  return 0;
}
