#pragma once

namespace shop {

// The names of the separate windows and the main window's tabs: the
// registry's keys (windows.cpp) and the windows' objectNames.
namespace window_name {
inline constexpr char purchaseTab[] = "frame_jin";
inline constexpr char employeeTab[] = "Frame_worker";
inline constexpr char ledgerTab[] = "frame_shouzhi";
inline constexpr char business[] = "frmyewu";
inline constexpr char customers[] = "frmguke";
inline constexpr char cards[] = "frm_card";
inline constexpr char purchaseHistory[] = "frm_history";
inline constexpr char salesHistory[] = "frm_salse";
inline constexpr char stock[] = "frm_kucun";
inline constexpr char salaries[] = "frmgz";
inline constexpr char deleteData[] = "frmdeleted";
inline constexpr char addUser[] = "frmadduser";
inline constexpr char deleteUser[] = "frmdeleuser";
inline constexpr char changePassword[] = "frmchange";
inline constexpr char settings[] = "frmsetup";
inline constexpr char about[] = "frmabout";
inline constexpr char restore[] = "frmrestore";
inline constexpr char cardHistory[] = "frm_kawu";
inline constexpr char dayClosing[] = "frm_rijie";
inline constexpr char database[] = "frmdatabase";
inline constexpr char importData[] = "frm_import";
inline constexpr char bookings[] = "frm_yuyue";
inline constexpr char stockLedger[] = "frm_liushui";
inline constexpr char stocktaking[] = "frm_pandian";
inline constexpr char margins[] = "frm_maoli";
// The main window's work area while no tab shows.
inline constexpr char overview[] = "overview";
} // namespace window_name

} // namespace shop
