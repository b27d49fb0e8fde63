#pragma once

#include <QString>

namespace vantora {

// Shell folder numbers the program asks for.
enum Csidl : int
{
    CSIDL_PERSONAL = 5,
    CSIDL_MYMUSIC = 13,
    CSIDL_MYVIDEO = 14,
    CSIDL_MYPICTURES = 39,
};

// The user's documents, pictures, videos or music folder, without a trailing "/". When the folder does
// not exist yet, the path the desktop would use is returned; nothing is created.
QString GetSpecialFolderPath(int csidl);

} // namespace vantora
