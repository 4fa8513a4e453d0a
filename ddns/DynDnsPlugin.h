/* The C interface of dynamic DNS plug-ins: shared libraries named ddns*.so placed beside
   the tarnhollow executable. The first such file in name order is loaded at start. */
#ifndef TARNHOLLOW_DDNS_DYNDNSPLUGIN_H
#define TARNHOLLOW_DDNS_DYNDNSPLUGIN_H

#ifdef __cplusplus
extern "C" {
#endif

/* Every text is UTF-8 and ends with a zero byte. A writable text is a buffer of this many
   bytes: room for 400 characters of any width and the terminator. A plug-in writes at
   most this many bytes, terminator included; the program reads up to the first zero. */
#define TARNHOLLOW_DDNS_TEXT_ROOM 1601

/* The dialog's list of provider domains. `context` is passed back to every function. */
typedef struct TarnhollowDomainList {
    void* context;
    /* The number of entries. */
    int (*count)(void* context);
    /* Copies entry `index` into `buffer` (terminated, cut to `room`); its length in
       bytes, or -1 when there is no such entry. */
    int (*entry)(void* context, int index, char* buffer, int room);
    /* Selects entry `index`; 0 on success, -1 when there is no such entry. */
    int (*select)(void* context, int index);
    /* The selected entry's index, or -1 when none is selected. */
    int (*selected)(void* context);
} TarnhollowDomainList;

/* What the program offers a plug-in. */
typedef struct TarnhollowDdnsHost {
    /* The user agent of the program's own update requests. */
    const char* userAgent;
    /* Copies the string setting `name` into `buffer` (terminated, cut to `room`) and
       returns its length in bytes; a missing setting is created with `defaultValue`,
       which is what is copied then. Valid only during Configure. */
    int (*readSetting)(const char* name, const char* defaultValue, char* buffer, int room);
} TarnhollowDdnsHost;

/* Every export is optional; each is looked up by its exact name. */

/* "Start": replaces the whole update protocol and is called for every update. `address`
   holds the address to register and may be rewritten with the registered name; `comment`
   may receive a message for the status line. Nonzero means registered. Called on the
   update worker thread, one call at a time; it may block on the network. */
typedef int (*TarnhollowDdnsStart)(const char* user, const char* password, const char* name, const char* domain,
                                   char* address, char* comment);

/* "PatchOptions": called right after the program read its settings (loading = 1) and
   right after it saved them (loading = 0). It may change the list's selection and rewrite
   domain, name and user, each a writable text. Called on the server thread: it must
   not block. */
typedef void (*TarnhollowDdnsPatchOptions)(const TarnhollowDomainList* domains, char* domain, char* name, char* user,
                                           int loading);

/* "Register": the user asked to register a new account. Called on the update worker. */
typedef void (*TarnhollowDdnsRegister)(const TarnhollowDdnsHost* updater);

/* "Configure": called on the server thread each time the program has read its settings
   (at start, and again when told to read them again), before PatchOptions. */
typedef void (*TarnhollowDdnsConfigure)(const TarnhollowDdnsHost* host);

#ifdef __cplusplus
}
#endif

#endif
