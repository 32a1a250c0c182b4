// Replaced by the headless backend's sources as they land.
namespace pelmora::headless {}
