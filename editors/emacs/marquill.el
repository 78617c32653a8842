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
            (lambda () (setq marquill-toggle-entry \"シェル/Python コメント\")))
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

;;;; Running the filter

(defun marquill--coding ()
  "UTF-8 with the buffer's line ends, so that the bytes are the file's."
  (let ((eol (coding-system-eol-type buffer-file-coding-system)))
    (coding-system-change-eol-conversion 'utf-8 (if (vectorp eol) 'unix eol))))

(defun marquill--environment (settings)
  "The environment with SETTINGS (nil: the user's) as the default settings file."
  (let ((file (or settings (and marquill-settings-file (expand-file-name marquill-settings-file)))))
    ;; As the name's bytes, so that a name that is not UTF-8 names the same file.
    (if file
        (cons (concat "MARQUILL_SETTINGS="
                      (encode-coding-string file (or file-name-coding-system default-file-name-coding-system)))
              process-environment)
      process-environment)))

(defun marquill--call (start end args output &optional settings)
  "Run the program with ARGS on START..END into buffer OUTPUT.
SETTINGS, when given, is the settings file to use instead of the user's.
Returns (STATUS . ERROR-TEXT).  Text and arguments are UTF-8."
  (let ((errors (make-temp-file "marquill-errors"))
        (coding (marquill--coding)))
    (unwind-protect
        (let* ((coding-system-for-write coding)
               (coding-system-for-read coding)
               (process-environment (marquill--environment settings))
               (status (condition-case nil
                           (apply #'call-process-region start end marquill-program
                                  nil (list output errors) nil args)
                         (file-missing
                          (user-error "Marquill: program not found: %s (customize `marquill-program')"
                                      marquill-program)))))
          (cons status
                (with-temp-buffer
                  (let ((coding-system-for-read 'utf-8))
                    (insert-file-contents errors))
                  (string-trim-right (buffer-string)))))
      (delete-file errors))))

(defun marquill--describe (&optional settings)
  "Ask the filter for its description, an alist.
It holds the settings file, the entries, the menu and the verbs' options;
SETTINGS as for `marquill--call'."
  (with-temp-buffer
    (let ((result (marquill--call (point-min) (point-max) '("entries" "--format=json")
                                  (current-buffer) settings)))
      (unless (eql (car result) 0)
        (user-error "%s" (if (string-empty-p (cdr result)) "marquill: cannot read the settings" (cdr result))))
      (let ((json-object-type 'alist) (json-array-type 'list) (json-key-type 'symbol)
            (json-false nil) (json-null nil))
        (goto-char (point-min))
        (json-read)))))

(defvar marquill--commands nil
  "The filter's verbs and options, as (PROGRAM MODIFIED COMMANDS).")

(defun marquill--options (verb)
  "The names of the options VERB takes.
They depend on the program alone: asked once per program, with a settings
file that does not exist, so that the user's settings cannot make it fail."
  (let* ((program (executable-find marquill-program))
         (modified (and program (file-attribute-modification-time (file-attributes program)))))
    (unless (equal (list program modified) (butlast marquill--commands))
      (setq marquill--commands
            (list program modified
                  (alist-get 'commands (marquill--describe (make-temp-name
                                                            (expand-file-name "marquill-none" temporary-file-directory)))))))
    (mapcar (lambda (option) (alist-get 'name option))
            (alist-get 'options (seq-find (lambda (command) (equal (alist-get 'verb command) verb))
                                          (nth 2 marquill--commands))))))

(defun marquill--arguments (args)
  "Return ARGS with the buffer's own options after the verb.
They are --stdin-only, so that the filter reads the region alone, and the
buffer's `tab-width' where the verb takes it."
  (if (or (null args) (string-prefix-p "-" (car args)))
      (cons "--stdin-only" args)
    (append (list (car args) "--stdin-only")
            (and (member "--tab-width" (marquill--options (car args)))
                 (list "--tab-width" (number-to-string tab-width)))
            (cdr args))))

(defun marquill--line-bounds (start end)
  "The whole lines from START to END, each with its line end."
  (save-excursion
    (let ((beg (progn (goto-char (min start end)) (line-beginning-position))))
      (goto-char (max start end))
      (unless (and (bolp) (> (point) beg))
        (forward-line 1))
      (cons beg (point)))))

(defun marquill--message (text beg end)
  "Return the filter's error TEXT with the buffer's place in it.
When the filter named a place in the text BEG..END, the first line names
the buffer's line and column instead."
  (let ((lines (split-string (if (string-empty-p text) "marquill: failed" text) "\n" t)))
    (when (string-match "\\`marquill:-:\\([0-9]+\\):\\([0-9]+\\): \\(.*\\)\\'" (car lines))
      (let* ((message (match-string 3 (car lines)))
             (place (marquill--place (string-to-number (match-string 1 (car lines)))
                                     (string-to-number (match-string 2 (car lines)))
                                     beg end)))
        (when place
          (setcar lines (format "marquill: %s:%d:%d: %s" (buffer-name) (car place) (cdr place) message)))))
    (string-join lines "\n")))

(defun marquill--place (line column beg end)
  "Return the buffer's (LINE . COLUMN) of the filter's LINE and COLUMN.
The filter's lines of the text BEG..END end at CR LF, CR or LF, and its
COLUMN counts bytes.  nil when the place is outside the text."
  (let* ((coding (marquill--coding))
         (bytes (encode-coding-string (buffer-substring-no-properties beg end) coding t))
         (separator (pcase (coding-system-eol-type coding) (1 "\r\n") (2 "\r") (_ "\n")))
         (pos 0))
    (dotimes (_ (1- line))
      (when pos
        (setq pos (and (string-match "\r\n\\|[\r\n]" bytes pos) (match-end 0)))))
    (when (and pos (<= (+ pos column -1) (length bytes)))
      (let ((offset (+ pos column -1)) (count 0) (start 0))
        (while (and (setq pos (string-search separator bytes start))
                    (< pos offset))
          (setq count (1+ count) start (+ pos (length separator))))
        (cons (+ (line-number-at-pos beg t) count)
              (1+ (length (decode-coding-string (substring bytes start offset) coding))))))))

;;;; Replacing the lines

(defun marquill--shared (a b)
  "How many characters strings A and B share at their start."
  (let ((c (compare-strings a nil nil b nil nil)))
    (if (eq c t) (length a) (1- (abs c)))))

(defun marquill--replace-line (old new)
  "Change the line at point from OLD to NEW.
Only the span between what they share at their start and end changes; the
new text goes in before the markers there, so that a marker or an overlay
on the character after the span stays on it."
  (let* ((head (marquill--shared old new))
         (tail (min (- (min (length old) (length new)) head)
                    (marquill--shared (reverse old) (reverse new))))
         (at (+ (point) head)))
    (delete-region at (+ at (- (length old) head tail)))
    (goto-char at)
    (insert-before-markers (substring new head (- (length new) tail)))))

(defun marquill--replace (beg old new)
  "Make the lines OLD from BEG read the lines NEW, each line on its own."
  (let ((here (point-marker)))
    (save-excursion
      (goto-char beg)
      (while old
        (let ((start (point)))
          (unless (equal (car old) (car new))
            (marquill--replace-line (car old) (car new)))
          (goto-char start)
          (forward-line 1))
        (setq old (cdr old) new (cdr new))))
    (goto-char here)
    (set-marker here nil)))

;;;###autoload
(defun marquill-filter-region (start end args)
  "Run the marquill filter with ARGS on the whole lines from START to END.
ARGS is a list of strings.  The lines change only when the filter
succeeds, as one undo step; otherwise a `user-error' shows its message
with the buffer's line."
  (barf-if-buffer-read-only)
  (let* ((bounds (marquill--line-bounds start end))
         (beg (car bounds)) (end (cdr bounds))
         (output (generate-new-buffer " *marquill-output*" t)))
    (unwind-protect
        (let ((result (marquill--call beg end (marquill--arguments args) output)))
          (unless (eql (car result) 0)
            (user-error "%s" (marquill--message (cdr result) beg end)))
          (let ((old (split-string (buffer-substring-no-properties beg end) "\n"))
                (new (split-string (with-current-buffer output (buffer-string)) "\n")))
            (unless (= (length old) (length new))
              (user-error "%s" "marquill: the output does not have the lines that went in"))
            (unless (equal old new)
              (let ((group (prepare-change-group)))
                (unwind-protect
                    (progn
                      (activate-change-group group)
                      (marquill--replace beg old new)
                      (undo-amalgamate-change-group group))
                  (accept-change-group group))))))
      (kill-buffer output))))

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
         (file (marquill--settings-path settings))
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
