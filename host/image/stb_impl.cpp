// The one translation unit that holds stb_image's and stb_image_write's code
// (Debian's libstb-dev headers). Only the formats the engine reads are built
// in: less code, and nothing that needs libm's newer symbol versions (HDR).
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNM
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#include <stb/stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
