/* Decodes every JPEG named on the command line to nothing, in one process:
   the decode-only peer of `tintwise-cli check` (same library, full size,
   no process start per picture). Prints nothing; exits 1 if one failed. */
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>

#include <jpeglib.h>

struct failure {
  struct jpeg_error_mgr manager;
  jmp_buf jump;
};

static void on_error(j_common_ptr info) { longjmp(((struct failure*)info->err)->jump, 1); }

int main(int argc, char** argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    FILE* file = fopen(argv[i], "rb");
    if (!file) {
      status = 1;
      continue;
    }
    struct jpeg_decompress_struct info;
    struct failure failure;
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = on_error;
    JSAMPROW row = NULL;
    if (setjmp(failure.jump)) {
      status = 1;
    } else {
      jpeg_create_decompress(&info);
      jpeg_stdio_src(&info, file);
      jpeg_read_header(&info, TRUE);
      jpeg_start_decompress(&info);
      row = malloc((size_t)info.output_width * info.output_components);
      while (info.output_scanline < info.output_height) jpeg_read_scanlines(&info, &row, 1);
      jpeg_finish_decompress(&info);
    }
    free(row);
    jpeg_destroy_decompress(&info);
    fclose(file);
  }
  return status;
}
