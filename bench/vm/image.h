/*
 * What both minimal senders do with an image: read it whole, and walk it
 * one SysEx message at a time.
 */
#pragma once
#include <stdio.h>
#include <stdlib.h>

/* The whole file at path (free it), its size in *size; NULL on failure. */
static unsigned char* read_image (const char* path, long* size)
{
    FILE* f = fopen (path, "rb");
    if (! f)
        return NULL;
    fseek (f, 0, SEEK_END);
    *size = ftell (f);
    rewind (f);
    unsigned char* data = malloc (*size > 0 ? (size_t) *size : 1);
    if (data && fread (data, 1, (size_t) *size, f) != (size_t) *size)
    {
        free (data);
        data = NULL;
    }
    fclose (f);
    return data;
}

/* The length of the SysEx message at image[at] (F0 ... F7), or 0 when there
   is none there. */
static long message_length (const unsigned char* image, long size, long at)
{
    long end = at;
    while (end < size && image[end] != 0xF7)
        end++;
    return (at < size && image[at] == 0xF0 && end < size) ? end + 1 - at : 0;
}

/* For "NAME TARGET IMAGE.syx": the image of the command line, its size in
   *size, checked to be a gapless run of SysEx messages; NULL, with the usage
   or the problem on stderr, on failure. */
static unsigned char* image_of_command_line (int argc, char** argv, const char* name, const char* target, long* size)
{
    if (argc != 3)
    {
        fprintf (stderr, "usage: %s %s IMAGE.syx\n", name, target);
        return NULL;
    }
    unsigned char* image = read_image (argv[2], size);
    if (! image)
    {
        fprintf (stderr, "%s: cannot read %s\n", name, argv[2]);
        return NULL;
    }
    for (long at = 0, length; at < *size; at += length)
    {
        if ((length = message_length (image, *size, at)) == 0)
        {
            fprintf (stderr, "%s: not a run of SysEx messages at byte %ld\n", name, at);
            free (image);
            return NULL;
        }
    }
    return image;
}
