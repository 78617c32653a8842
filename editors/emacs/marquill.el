;;; marquill.el --- Head symbols from a Marquill settings file  -*- lexical-binding: t -*-

;; Copyright (c) the Marquill authors
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

;;; Code:

(require 'json)
(require 'seq)
(require 'subr-x)
(require 'marquill-run)

(defgroup marquill nil
  "Insert and delete head symbols with the marquill filter."
  :group 'editing
  :prefix "marquill-")

(defcustom marquill-program "marquill"
  "The marquill filter program."
  :type 'string)

(defcustom marquill-settings-file nil
  "The settings file: symbol, a tab and a caption on each line.
nil: the filter's default, $MARQUILL_SETTINGS or
$XDG_CONFIG_HOME/marquill/Marquill_Setting.txt (~/.config when unset)."
  :type '(choice (const :tag "The filter's default" nil) file))

;;;###autoload
(defcustom marquill-toggle-entry nil
  "The entry `marquill-toggle' uses: its number from 1 or its caption.
It is buffer-local when set, for example from a mode hook:
  (add-hook \\='makefile-mode-hook
            (lambda () (setq marquill-toggle-entry \"シェル\")))
nil: the symbol of `comment-start' when the mode's comments are line
comments (`comment-end' empty), with a blank after it; else the first
entry."
  :type '(choice (const :tag "The comment start, else the first entry" nil) integer string))

;; Buffer-local and safe as a file-local variable before the library is
;; loaded, so that a mode hook or a file can set it for its buffer alone.
;;;###autoload
(progn
  (make-variable-buffer-local 'marquill-toggle-entry)
  (put 'marquill-toggle-entry 'safe-local-variable
       (lambda (value) (or (null value) (stringp value) (and (integerp value) (> value 0))))))

;;;###autoload
(defun marquill-filter-region (start end args)
  "Run the marquill filter with ARGS on the whole lines from START to END.
ARGS is a list of strings.  The lines change only when the filter
succeeds, as one undo step; otherwise a `user-error' shows its message
with the buffer's line."
  (marquill--edit start end args))

;;;; Entries and the menu

(defun marquill-settings-file ()
  "The settings file in effect, as the filter names it."
  (alist-get 'path (alist-get 'settings (marquill--describe))))

(defun marquill--sorted-as-given (table)
  "A completion TABLE that lists its candidates in the order given."
  (lambda (string predicate action)
    (if (eq action 'metadata)
        '(metadata (display-sort-function . identity) (cycle-sort-function . identity))
      (complete-with-action action table string predicate))))

(defun marquill--choose (prompt choices)
  "Read one of CHOICES, an alist of (TEXT . VALUE), with PROMPT; its VALUE."
  (let ((choice (assoc (completing-read prompt (marquill--sorted-as-given choices) nil t) choices)))
    (unless choice
      (user-error "%s" "marquill: nothing chosen"))
    (cdr choice)))

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
      (user-error "%s" (concat "marquill: the settings file has no entries: "
                               (alist-get 'path (alist-get 'settings description)))))
    (dolist (entry entries)
      (let ((label (alist-get 'label entry)))
        ;; Two entries that read the same are told apart by their number.
        (push (cons (if (assoc label choices) (format "%s <%d>" label (alist-get 'number entry)) label) entry)
              choices)))
    (marquill--choose prompt (nreverse choices))))

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

;;;###autoload
(defun marquill-edit-settings ()
  "Open the settings file in another window, decoded as the filter does."
  (interactive)
  (let* ((settings (alist-get 'settings (marquill--describe)))
         (file (alist-get 'path settings))
         (coding-system-for-read (marquill--coding-of settings)))
    (make-directory (file-name-directory file) t)
    (find-file-other-window file)))

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
  (interactive (marquill--insert-arguments "Insert: " "head"))
  (marquill-filter-region start end (list "insert" "--at" "head" "--lines" (or lines "all") "-e" symbol)))

;;;###autoload
(defun marquill-insert-at-char (start end symbol &optional lines)
  "Insert SYMBOL at the column of the lines' least indentation.
START and END are the region.  With a prefix argument, ask which LINES
get it (default: all)."
  (interactive (marquill--insert-arguments "Insert at the first character: " "char"))
  (marquill-filter-region start end (list "insert" "--at" "char" "--lines" (or lines "all") "-e" symbol)))

;;;###autoload
(defun marquill-delete (start end symbol)
  "Delete SYMBOL, chosen by its caption, after the indentation of the lines.
START and END are the region."
  (interactive (append (marquill--region) (list (alist-get 'symbol (marquill--read-entry "Delete: ")))))
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

(defun marquill-toggle-arguments ()
  "The filter's arguments of the toggle in this buffer.
The entry `marquill-toggle-entry'; else the symbol of `comment-start' with
a blank after it, when the mode's comments are line comments; else the
first entry."
  (let ((comment (string-trim (or comment-start ""))))
    (cond (marquill-toggle-entry
           (list "toggle" "--entry" (format "%s" marquill-toggle-entry)))
          ((and (not (string-empty-p comment)) (member comment-end '(nil "")))
           (list "toggle" "-e" (concat comment " ")))
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

(provide 'marquill)
;;; marquill.el ends here
