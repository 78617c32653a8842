;;; marquill.el --- Head symbols from a Marquill settings file  -*- lexical-binding: t -*-

;; Copyright (c) the Marquill authors

;; Author: the Marquill authors
;; URL: https://c-seed-f1426660.example/marquill
;; Version: 3.3.2
;; Package-Requires: ((emacs "28.1"))
;; Keywords: convenience, text

;;; Commentary:

;; Inserts, deletes and toggles head symbols such as "> " or "// " in the
;; lines of the region (or the current line) through the `marquill' filter,
;; with the symbols of the Marquill settings file that the Windows plug-in
;; uses.  `M-x marquill' opens the plug-in's menu.  The region's text goes
;; to the filter as UTF-8 with the buffer's own line ends, whatever the
;; locale, and comes back the same way: only the filter's edits change, and
;; only the changed part of each line is replaced, so markers, overlays and
;; other windows' points stay on their characters.  The entries, the menu
;; and the settings file are what the filter describes; nothing here
;; interprets a caption.
;;
;; The prompts, the messages and the menu's fixed items are in Japanese
;; when the language environment or the locale is Japanese, else in
;; English, and the filter runs in the same language (LANGUAGE), so that
;; one screen never mixes the two.  The Japanese texts are those of
;; `marquill-ja', made from the project's catalogue.

;;; Code:

(require 'json)
(require 'seq)
(require 'subr-x)
(require 'marquill-run)

;; The group and the options are autoloaded, so that `customize-group'
;; finds them before the library is loaded.
;;;###autoload
(progn
  (defgroup marquill nil
    "Insert and delete head symbols with the marquill filter."
    :group 'editing
    :prefix "marquill-")
  (custom-add-load 'marquill 'marquill))

;;;###autoload
(defcustom marquill-program "marquill"
  "The marquill filter program."
  :type 'string)

;;;###autoload
(defcustom marquill-settings-file nil
  "The settings file: symbol, a tab and a caption on each line.
nil: the filter's default, $MARQUILL_SETTINGS or
$XDG_CONFIG_HOME/marquill/Marquill_Setting.txt (~/.config when unset).
A leading ~ and environment variables ($NAME) are expanded."
  :type '(choice (const :tag "The filter's default" nil) file))

;;;###autoload
(defcustom marquill-starter-file nil
  "The starter list that a missing settings file is made from.
nil: the one the filter names (Debian installs it under
/usr/share/doc/marquill/examples)."
  :type '(choice (const :tag "The filter's" nil) file))

;;;###autoload
(defcustom marquill-toggle-entry nil
  "The entry `marquill-toggle' uses: its number from 1 or its caption.
It is buffer-local when set, for example from a mode hook:
  (add-hook \\='makefile-mode-hook
            (lambda () (setq marquill-toggle-entry \"シェル/Python コメント\")))
nil: the mode's line comment with a blank after it: `comment-start' when
the mode's comments are line comments (`comment-end' empty), else the
line comment of a mode that has both kinds (C's \"//\"); in a mode with
block comments only the toggle asks for this option to be set; else the
first entry."
  :type '(choice (const :tag "The line comment, else the first entry" nil) integer string))

;; Buffer-local and safe as a file-local variable before the library is
;; loaded, so that a mode hook or a file can set it for its buffer alone.
;;;###autoload
(progn
  (make-variable-buffer-local 'marquill-toggle-entry)
  (put 'marquill-toggle-entry 'safe-local-variable
       (lambda (value) (or (null value) (stringp value) (and (integerp value) (> value 0))))))

(defvar marquill-ja-texts)

(defun marquill--japanese-p ()
  "Whether the user's language is Japanese.
It is when the language environment is Japanese, or the locale that
messages follow (LC_ALL, else LC_MESSAGES, else LANG) is."
  (or (equal current-language-environment "Japanese")
      (let ((locale (marquill--locale)))
        (and locale (string-match-p "\\`ja\\([_.@]\\|\\'\\)" locale) t))))

(defun marquill--text (msgid)
  "The text MSGID in the user's language; MSGID itself when none is known.
The Japanese texts are those of `marquill-ja', generated from the
project's catalogue."
  (or (and (marquill--japanese-p)
           (require 'marquill-ja nil t)
           (cdr (assoc msgid marquill-ja-texts)))
      msgid))

;;;###autoload
(defun marquill-filter-region (start end args)
  "Run the marquill filter with ARGS on the whole lines from START to END.
ARGS is a list of strings.  The lines change only when the filter
succeeds, as one undo step; otherwise a `user-error' shows its message
with the buffer's line."
  (marquill--edit start end args))

;;;; Entries and the menu

(defun marquill--settings-path (settings)
  "The path of SETTINGS, the filter's: its exact bytes when not UTF-8."
  (let ((bytes (alist-get 'path_bytes settings)))
    (if bytes
        (decode-coding-string (apply #'unibyte-string (append bytes nil))
                              (or file-name-coding-system default-file-name-coding-system))
      (alist-get 'path settings))))

(defun marquill-settings-file ()
  "The settings file in effect, as the filter names it."
  (marquill--settings-path (alist-get 'settings (marquill--describe))))

(defun marquill--sorted-as-given (table &optional annotate)
  "A completion TABLE that lists its candidates in the order given.
ANNOTATE, when given, is the annotation function shown beside them."
  (lambda (string predicate action)
    (if (eq action 'metadata)
        `(metadata (display-sort-function . identity) (cycle-sort-function . identity)
                   ,@(and annotate `((annotation-function . ,annotate))))
      (complete-with-action action table string predicate))))

(defun marquill--choose (prompt choices &optional annotate keys)
  "Read one of CHOICES, an alist of (TEXT . VALUE), with PROMPT; its VALUE.
KEYS is an alist of (ACCESS-KEY . VALUE): a single typed character that is
no choice chooses the value of its access key, as the popup menu does.
ANNOTATE shows beside each choice.  An empty answer cancels (a quit)."
  (let* ((answer (completing-read prompt (marquill--sorted-as-given choices annotate)))
         (choice (or (assoc answer choices)
                     (and (= (length answer) 1) (assoc-string answer keys t)))))
    (cond (choice (cdr choice))
          ((string-empty-p answer) (signal 'quit nil))
          (t (user-error "%s" (marquill--text "marquill: nothing chosen"))))))

(defun marquill--entries (description)
  "The entries of the filter's DESCRIPTION.
A settings file that exists but could not be read is a `user-error' with
the filter's message, so that nothing is done with an entry it may hold."
  (let ((failure (alist-get 'error (alist-get 'settings description))))
    (when failure
      (user-error "%s" failure))
    (alist-get 'entries description)))

(defun marquill--read-entry (prompt &optional description)
  "An entry of the settings, chosen by its label with PROMPT, as an alist.
DESCRIPTION is the filter's, when already had."
  (let* ((description (or description (marquill--describe)))
         (limit (alist-get 'entry_limit (alist-get 'menu description)))
         (entries (seq-take (marquill--entries description) limit))
         (choices nil))
    (unless entries
      (user-error (marquill--text "marquill: the settings file has no entries: %s")
                  (alist-get 'path (alist-get 'settings description))))
    (dolist (entry entries)
      (let* ((label (alist-get 'label entry))
             ;; An entry with no label shows its symbol.
             (text (if (string-blank-p label) (alist-get 'symbol entry) label)))
        ;; Two entries that read the same are told apart by their number.
        (push (cons (if (assoc text choices) (format "%s <%d>" text (alist-get 'number entry)) text) entry)
              choices)))
    (setq choices (nreverse choices))
    (marquill--choose prompt choices
                      (lambda (text)
                        (let ((entry (cdr (assoc text choices))))
                          (format "  %s%s" (alist-get 'symbol entry)
                                  (if (string-empty-p (alist-get 'key entry ""))
                                      ""
                                    (format "  (&%s)" (alist-get 'key entry))))))
                      (delq nil (mapcar (lambda (entry)
                                          (and (not (string-empty-p (alist-get 'key entry "")))
                                               (cons (alist-get 'key entry) entry)))
                                        entries)))))

(defun marquill--menu-levels (items)
  "Return the menu's first level from ITEMS, in their order.
Each group comes once, where it first comes, as (GROUP . ITEMS), and each
item of no group as (CAPTION . ITEM)."
  (let (levels)
    (dolist (item items)
      (let* ((group (alist-get 'group item))
             (level (and group (assoc group levels))))
        (cond (level (setcdr level (append (cdr level) (list item))))
              (group (push (list group item) levels))
              (t (push (cons (alist-get 'caption item) item) levels)))))
    (nreverse levels)))

(defun marquill--read-item (description)
  "The menu's item chosen at two levels, from the filter's DESCRIPTION."
  (let ((level (marquill--choose "Marquill: " (marquill--menu-levels
                                                (alist-get 'items (alist-get 'menu description))))))
    (if (alist-get 'action level)
        level
      (marquill--choose (concat (alist-get 'group (car level)) ": ")
                        (mapcar (lambda (item) (cons (alist-get 'caption item) item)) level)))))

(defun marquill--read-lines (at)
  "Read the lines of an insertion AT \"head\" or \"char\".
They are chosen by the menu's captions under the menu's own prompt; the
value is the filter's name for them."
  (let* ((items (seq-filter (lambda (item) (equal (seq-take (alist-get 'args item) 3) (list "insert" "--at" at)))
                            (alist-get 'items (alist-get 'menu (marquill--describe)))))
         (args (marquill--choose (concat (alist-get 'group (car items)) ": ")
                                 (mapcar (lambda (item) (cons (alist-get 'caption item) (alist-get 'args item)))
                                         items))))
    (cadr (member "--lines" args))))

(defun marquill--coding-of (settings)
  "Return the coding system of the SETTINGS file, with its line ends."
  (coding-system-change-eol-conversion
   (pcase (alist-get 'encoding settings)
     ("utf-8-bom" 'utf-8-with-signature)
     ("cp932" 'cp932)
     ("utf-16le" 'utf-16le-with-signature)
     ("utf-16be" 'utf-16be-with-signature)
     (_ 'utf-8))
   (pcase (alist-get 'line_break settings) ("\r\n" 'dos) ("\r" 'mac) (_ 'unix))))

(defun marquill--first-run (settings)
  "Make the missing settings file of SETTINGS, when the user agrees.
It is a copy of the starter list (`marquill-starter-file', else the
filter's), or empty when there is none.  Returns the new settings, nil
when the user declined."
  (let* ((file (marquill--settings-path settings))
         (starter (if marquill-starter-file
                      (marquill--path marquill-starter-file)
                    (alist-get 'starter settings)))
         (readable (and starter (file-readable-p starter))))
    (when (y-or-n-p (if readable
                        (format (marquill--text "The settings file %s does not exist.  Create it from the starter list %s? ")
                                file starter)
                      (format (marquill--text "The settings file %s does not exist.  Create it? ") file)))
      (make-directory (file-name-directory file) t)
      (if readable
          (copy-file starter file)
        (write-region "" nil file)
        (message "%s" (marquill--text "marquill: each line of the settings file is a symbol, a tab and a caption")))
      (alist-get 'settings (marquill--describe)))))

;;;###autoload
(defun marquill-edit-settings ()
  "Open the settings file in another window, decoded as the filter does.
A missing one is first made from the starter list, when you agree."
  (interactive)
  (let ((settings (alist-get 'settings (marquill--describe))))
    (unless (eq (alist-get 'exists settings) t)
      (setq settings (marquill--first-run settings)))
    (when settings
      (let ((coding-system-for-read (marquill--coding-of settings)))
        (find-file-other-window (marquill--settings-path settings))))))

;;;###autoload
(defun marquill (start end)
  "The menu of the Marquill command, on the lines from START to END.
Interactively, the region's lines or the current line.  Its items, in the
plug-in's order, and the entries come from the filter."
  (interactive (marquill--region))
  (let* ((description (marquill--describe))
         (item (marquill--read-item description)))
    (pcase (alist-get 'action item)
      ("edit-settings" (marquill-edit-settings))
      ("edit"
       (marquill-filter-region
        start end
        (append (alist-get 'args item)
                (and (alist-get 'per_entry item)
                     (list "--entry" (alist-get 'entry (marquill--read-entry
                                                        (concat (alist-get 'caption item) ": ")
                                                        description))))))))))

;;;; Commands

(defun marquill--region ()
  "The region when active, else the current line."
  (if (use-region-p)
      (list (region-beginning) (region-end))
    (list (line-beginning-position) (line-beginning-position))))

(defun marquill--insert-arguments (prompt at)
  "Read the arguments of an insertion AT \"head\" or \"char\".
They are the region, the symbol read with PROMPT and, with a prefix
argument, the lines."
  (append (marquill--region)
          (list (alist-get 'symbol (marquill--read-entry prompt))
                (and current-prefix-arg (marquill--read-lines at)))))

;;;###autoload
(defun marquill-insert (start end symbol &optional lines)
  "Insert SYMBOL, chosen by its caption, at the head of the lines.
START and END are the region.  With a prefix argument, ask which LINES
get it (default: all)."
  (interactive (marquill--insert-arguments (marquill--text "Insert: ") "head"))
  (marquill-filter-region start end (list "insert" "--at" "head" "--lines" (or lines "all") "-e" symbol)))

;;;###autoload
(defun marquill-insert-at-char (start end symbol &optional lines)
  "Insert SYMBOL at the column of the lines' least indentation.
START and END are the region.  With a prefix argument, ask which LINES
get it (default: all)."
  (interactive (marquill--insert-arguments (marquill--text "Insert at the first character: ") "char"))
  (marquill-filter-region start end (list "insert" "--at" "char" "--lines" (or lines "all") "-e" symbol)))

;;;###autoload
(defun marquill-delete (start end symbol)
  "Delete SYMBOL, chosen by its caption, after the indentation of the lines.
START and END are the region."
  (interactive (append (marquill--region) (list (alist-get 'symbol (marquill--read-entry (marquill--text "Delete: "))))))
  (marquill-filter-region start end (list "delete" "-e" symbol)))

;;;###autoload
(defun marquill-delete-once (start end)
  "Delete each symbol of the settings once from the lines START to END."
  (interactive (marquill--region))
  (marquill-filter-region start end (list "delete-once")))

;;;###autoload
(defun marquill-delete-all (start end)
  "Delete the settings' symbols from the lines START to END until none is left."
  (interactive (marquill--region))
  (marquill-filter-region start end (list "delete-all")))

(defun marquill--line-comment ()
  "The mode's line comment with a blank after it, or nil.
`comment-start' when the mode's comments are line comments, else the line
comment of a CC mode that has both kinds."
  (let ((start (string-trim (or comment-start ""))))
    (cond ((and (not (string-empty-p start)) (member comment-end '(nil "")))
           (concat start " "))
          ((and (local-variable-p 'c-line-comment-starter)
                (stringp (symbol-value 'c-line-comment-starter))
                (not (string-empty-p (symbol-value 'c-line-comment-starter))))
           (concat (symbol-value 'c-line-comment-starter) " ")))))

(defun marquill--prose-p ()
  "Whether the buffer is prose: its comments, if any, are no language's."
  (or (eq major-mode 'fundamental-mode)
      (and (derived-mode-p 'text-mode) (not (derived-mode-p 'sgml-mode 'nxml-mode)))))

(defun marquill-toggle-arguments ()
  "The filter's arguments of the toggle in this buffer.
The entry `marquill-toggle-entry'; else the mode's line comment with a
blank after it; else, in a mode of a language with block comments only,
a `user-error' asking for `marquill-toggle-entry'; else the first entry."
  (let ((line (marquill--line-comment)))
    (cond (marquill-toggle-entry
           (list "toggle" "--entry" (format "%s" marquill-toggle-entry)))
          (line (list "toggle" "-e" line))
          ((and (not (string-empty-p (string-trim (or comment-start "")))) (not (marquill--prose-p)))
           (user-error (marquill--text "marquill: %s has only block comments; set marquill-toggle-entry to the entry to toggle")
                       major-mode))
          (t (list "toggle" "--entry" "1")))))

(defun marquill--lines-region (n)
  "Return the region when active, else N lines from the current one.
A negative N counts backwards."
  (if (use-region-p)
      (list (region-beginning) (region-end))
    (let ((from (line-beginning-position)) (to (line-end-position)))
      (save-excursion
        (forward-line (if (> n 0) (1- n) (1+ n)))
        (list (min from (line-beginning-position)) (max to (line-end-position)))))))

;;;###autoload
(defun marquill-toggle (start end)
  "Toggle the buffer's symbol in the lines from START to END.
Interactively, the region's lines, else N lines from the current one with
a numeric prefix argument N, as `comment-line' takes them.  The symbol is
that of `marquill-toggle-arguments'.  Where every non-blank line has it
after its indentation it is deleted once, else it is inserted at the
column of least indentation, with `tab-width' as the width of a tab."
  (interactive (marquill--lines-region (prefix-numeric-value current-prefix-arg)))
  (marquill-filter-region start end (marquill-toggle-arguments)))

;;;; Keys and the menu bar

;;;###autoload
(defvar marquill-command-map
  (let ((map (make-sparse-keymap "Marquill")))
    (dolist (item (reverse '(("t" "Toggle" marquill-toggle)
                             ("m" "Menu..." marquill)
                             ("i" "Insert..." marquill-insert)
                             ("c" "Insert at the first character..." marquill-insert-at-char)
                             ("d" "Delete..." marquill-delete)
                             ("o" "Delete each symbol once" marquill-delete-once)
                             ("a" "Delete all symbols" marquill-delete-all)
                             ("s" "Edit the settings" marquill-edit-settings))))
      (define-key map (car item) (list 'menu-item (nth 1 item) (nth 2 item))))
    map)
  "Marquill's commands under one prefix key, also its menu in Tools.
Emacs leaves control-c followed by a letter to users; bind one such
key with a line like

  (global-set-key (kbd \"C-c m\") \\='marquill-command-map)

and then that key followed by t toggles the lines, followed by m opens
the menu.")

;;;###autoload
(progn
  (fset 'marquill-command-map marquill-command-map)
  (let ((tools (lookup-key global-map [menu-bar tools])))
    (when (keymapp tools)
      (define-key-after tools [marquill] (list 'menu-item "Marquill" 'marquill-command-map)))))

;; The menu's titles in the user's language, once the library is loaded.
(map-keymap (lambda (_key binding)
              (when (eq (car-safe binding) 'menu-item)
                (setcar (cdr binding) (marquill--text (nth 1 binding)))))
            marquill-command-map)

(provide 'marquill)
;;; marquill.el ends here
