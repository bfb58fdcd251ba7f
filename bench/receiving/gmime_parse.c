/* The reference for parsing a received message: GMime 3 parses the message
 * file and writes every leaf part's decoded content to a file of its own in
 * the output directory ("part-1", "part-2", ...), as the library's reader
 * does with the parts it saves. Built and run by bench/run only.
 * Usage: gmime_parse MESSAGE_FILE OUTPUT_DIRECTORY */
#include <gmime/gmime.h>
#include <stdio.h>

typedef struct {
  const char *directory;
  int written;
  int failed;
} Output;

static void SavePart(GMimeObject *parent, GMimeObject *part, gpointer data) {
  Output *output = data;
  (void)parent;
  if (!GMIME_IS_PART(part)) return;
  GMimeDataWrapper *content = g_mime_part_get_content(GMIME_PART(part));
  if (content == NULL) return;
  char path[4096];
  snprintf(path, sizeof path, "%s/part-%d", output->directory, ++output->written);
  GMimeStream *file = g_mime_stream_file_open(path, "wb", NULL);
  if (file == NULL) {
    output->failed = 1;
    return;
  }
  if (g_mime_data_wrapper_write_to_stream(content, file) < 0) output->failed = 1;
  if (g_mime_stream_flush(file) != 0) output->failed = 1;
  g_object_unref(file);
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: gmime_parse MESSAGE_FILE OUTPUT_DIRECTORY\n");
    return 2;
  }
  g_mime_init();
  GMimeStream *stream = g_mime_stream_file_open(argv[1], "rb", NULL);
  if (stream == NULL) {
    fprintf(stderr, "gmime_parse: cannot open %s\n", argv[1]);
    return 1;
  }
  GMimeParser *parser = g_mime_parser_new_with_stream(stream);
  g_object_unref(stream);
  GMimeMessage *message = g_mime_parser_construct_message(parser, NULL);
  g_object_unref(parser);
  if (message == NULL) {
    fprintf(stderr, "gmime_parse: %s is not a message\n", argv[1]);
    return 1;
  }
  Output output = {argv[2], 0, 0};
  g_mime_message_foreach(message, SavePart, &output);
  g_object_unref(message);
  g_mime_shutdown();
  if (output.failed || output.written == 0) {
    fprintf(stderr, "gmime_parse: could not write the parts\n");
    return 1;
  }
  printf("%d part(s)\n", output.written);
  return 0;
}
