#pragma once
// The tray icon's picture: a black outline globe on white, 16 by 16, one character per pixel.

// clang-format off
static const char* const globe_xpm[] = {
    "16 16 2 1",
    " \tc white",
    "!\tc black",
    "                ",
    "     !!!!!!     ",
    "    !  !!  !    ",
    "   !  !  !  !   ",
    "  !   !  !   !  ",
    " !   !    !  !  ",
    " !!!!!!!!!!!!!! ",
    " !   !    !   ! ",
    " !   !    !   ! ",
    " !!!!!!!!!!!!!! ",
    " !   !    !  !  ",
    "  !   !  !   !  ",
    "   !  !  !  !   ",
    "    !  !!  !    ",
    "     !!!!!!     ",
    "                ",
};
// clang-format on
