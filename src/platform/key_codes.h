#pragma once

// The key codes the program acts on, written once. They are the toolkit-neutral codes a backend
// hands to a form's key handlers (the virtual-key numbers of the window's design).
namespace pelmora::platform::keys {

constexpr int kBackspace = 8;
constexpr int kTab = 9;
constexpr int kReturn = 13;
constexpr int kEscape = 27;
constexpr int kSpace = 32;
constexpr int kLeft = 37;
constexpr int kUp = 38;
constexpr int kRight = 39;
constexpr int kDown = 40;
constexpr int kDelete = 46;

}  // namespace pelmora::platform::keys
