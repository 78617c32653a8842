;;; marquill-run.el --- Running the marquill filter on a buffer's lines  -*- lexical-binding: t -*-

;; Copyright (c) the Marquill authors

;; This file is part of marquill.el.

;;; Commentary:

;; The filter runs on the exact bytes of the region's whole lines (UTF-8
;; with the buffer's line ends) and only the changed span of each changed
;; line is replaced, in one undo step, so that markers, overlays and other
;; windows' points stay on their characters.  `marquill' holds the
;; commands; this file what they share with the filter.

;;; Code:

(require 'json)
(require 'seq)
(require 'subr-x)
(require 'cl-lib)

(defvar marquill-program)
(defvar marquill-settings-file)
(declare-function marquill--text "marquill" (msgid))
(declare-function marquill--japanese-p "marquill" ())

;;;; Running the filter

(defun marquill--coding ()
  "UTF-8 with the buffer's line ends, so that the bytes are the file's."
  (let ((eol (coding-system-eol-type buffer-file-coding-system)))
    (coding-system-change-eol-conversion 'utf-8 (if (vectorp eol) 'unix eol))))

(defun marquill--path (file)
  "FILE with a leading ~ and $NAME or ${NAME} expanded, and nothing else."
  (expand-file-name (substitute-in-file-name file)))

(defun marquill--environment (settings)
  "The environment with SETTINGS (nil: the user's) as the default settings file."
  (let ((file (or settings (and marquill-settings-file (marquill--path marquill-settings-file)))))
    ;; As the name's bytes, so that a name that is not UTF-8 names the same file.
    (append (and file (list (concat "MARQUILL_SETTINGS="
                                    (encode-coding-string
                                     file (or file-name-coding-system default-file-name-coding-system)))))
            (marquill--language-environment)
            process-environment)))

(defun marquill--language-environment ()
  "The variables that make the filter speak the plug-in's language.
LANGUAGE names it, and under the C or POSIX locale, where the filter
does not read LANGUAGE, LC_ALL becomes C.UTF-8."
  (cons (if (marquill--japanese-p) "LANGUAGE=ja" "LANGUAGE=en")
        (and (member (marquill--locale) '("C" "POSIX")) (list "LC_ALL=C.UTF-8"))))

(defun marquill--locale ()
  "The locale that messages follow: LC_ALL, else LC_MESSAGES, else LANG."
  (seq-find (lambda (value) (and value (not (string-empty-p value))))
            (mapcar #'getenv '("LC_ALL" "LC_MESSAGES" "LANG"))))

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
                          (user-error (marquill--text "marquill: program not found: %s (customize `marquill-program')")
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
        (user-error "%s" (if (string-empty-p (cdr result)) (marquill--text "marquill: cannot read the settings") (cdr result))))
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
They are --stdin-only, so that the filter reads the region alone, the
buffer's `tab-width' where the verb takes it, and --keep-indentation
where it takes that: an editor never rewrites indentation."
  (if (or (null args) (string-prefix-p "-" (car args)))
      (cons "--stdin-only" args)
    (let ((options (marquill--options (car args))))
      (append (list (car args) "--stdin-only")
              (and (member "--tab-width" options)
                   (list "--tab-width" (number-to-string tab-width)))
              (and (member "--keep-indentation" options) (list "--keep-indentation"))
              (cdr args)))))

(defun marquill--line-bounds (start end)
  "The whole lines from START to END, each with its line end."
  (save-excursion
    (let ((beg (progn (goto-char (min start end)) (line-beginning-position))))
      (goto-char (max start end))
      (unless (and (bolp) (> (point) beg))
        (forward-line 1))
      (cons beg (point)))))

(defun marquill--message (text beg sent)
  "Return the filter's error TEXT with the buffer's place in it.
When the filter named a place in SENT, the text of the lines from BEG,
the first line names the buffer's line and column instead."
  (let ((lines (split-string (if (string-empty-p text) "marquill: failed" text) "\n" t)))
    (when (string-match "\\`marquill:-:\\([0-9]+\\):\\([0-9]+\\): \\(.*\\)\\'" (car lines))
      (let* ((message (match-string 3 (car lines)))
             (place (marquill--place (string-to-number (match-string 1 (car lines)))
                                     (string-to-number (match-string 2 (car lines)))
                                     beg sent)))
        (when place
          (setcar lines (format "marquill: %s:%d:%d: %s" (buffer-name) (car place) (cdr place) message)))))
    (string-join lines "\n")))

(defun marquill--missing (text)
  "TEXT, unless it is about a settings file that does not exist.
Then it is the plug-in's message, which names its own option."
  (let* ((settings (alist-get 'settings (ignore-errors (marquill--describe))))
         (path (alist-get 'path settings)))
    (if (and path (not (eq (alist-get 'exists settings) t)) (string-search path text))
        (format (marquill--text "marquill: the settings file %s does not exist; M-x marquill-edit-settings creates it from the starter list, or customize marquill-settings-file")
                path)
      text)))

(defun marquill--place (line column beg sent)
  "Return the buffer's (LINE . COLUMN) of the filter's LINE and COLUMN.
SENT is the text of the lines from BEG as the filter had it, whose lines
are the buffer's; COLUMN counts the bytes of the line.  nil when the
place is outside the text."
  (let ((lines (marquill--lines sent)))
    (when (<= 1 line (length lines))
      (let ((bytes (encode-coding-string (nth (1- line) lines) 'utf-8 t)))
        (when (<= 1 column (1+ (length bytes)))
          (cons (+ (line-number-at-pos beg t) line -1)
                (1+ (length (decode-coding-string (substring bytes 0 (1- column)) 'utf-8)))))))))

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

(defun marquill--lines (text)
  "TEXT's lines, split at each LF."
  (let ((lines nil) (start 0) (at nil))
    (while (setq at (string-search "\n" text start))
      (push (substring text start at) lines)
      (setq start (1+ at)))
    (nreverse (cons (substring text start) lines))))

(defun marquill--replace-span (at old new)
  "Make the line at AT read NEW instead of OLD; return how much it grew.
An insertion or a deletion in one place is made directly, any other
change through `marquill--replace-line'."
  (let* ((c (compare-strings old nil nil new nil nil))
         (head (if (eq c t) 0 (1- (abs c))))
         (delta (- (length new) (length old))))
    (cond ((eq c t))
          ((and (> delta 0) (eq t (compare-strings old head nil new (+ head delta) nil)))
           (goto-char (+ at head))
           (insert-before-markers (substring new head (+ head delta))))
          ((and (< delta 0) (eq t (compare-strings old (- head delta) nil new head nil)))
           (delete-region (+ at head) (- (+ at head) delta)))
          (t (goto-char at)
             (marquill--replace-line old new)))
    delta))

(defun marquill--replace (beg end old new)
  "Make the text from BEG to END, OLD, read NEW, each line on its own.
OLD and NEW hold as many lines.  One undo step in all; the modification
hooks see one change of the whole span."
  (let ((here (point-marker))
        (group (prepare-change-group))
        (gc-cons-threshold (max gc-cons-threshold (* 64 1024 1024))))
    (unwind-protect
        (progn
          (activate-change-group group)
          (let ((hooks (not inhibit-modification-hooks))
                (at beg))
            (when hooks
              (run-hook-with-args 'before-change-functions beg end))
            (save-excursion
              (let ((inhibit-modification-hooks t))
                (cl-mapc (lambda (old-line new-line)
                           (setq at (+ at (length old-line) 1 (marquill--replace-span at old-line new-line))))
                         (marquill--lines old) (marquill--lines new))))
            (when hooks
              (run-hook-with-args 'after-change-functions beg (1- at) (- end beg))))
          (undo-amalgamate-change-group group))
      (accept-change-group group))
    (goto-char here)
    (set-marker here nil)))

;;;; The region's text

(defun marquill--cr-mark (text)
  "A character that TEXT lacks, to stand for its lone CRs; nil when none.
A CR that no LF follows is a character of its line in the buffer, but the
filter would end a line there.  Not with CR line ends, where each CR is a
line end."
  (when (and (string-search "\r" text)
             (not (eql (coding-system-eol-type (marquill--coding)) 2)))
    (let ((code #xE000))
      (while (string-search (char-to-string code) text)
        (setq code (1+ code)))
      (char-to-string code))))

(defun marquill--mask (text mark)
  "TEXT with each CR that no LF follows, under the buffer's line ends, as MARK.
With CR LF line ends every CR of the buffer's text is one."
  (let ((dos (eql (coding-system-eol-type (marquill--coding)) 1))
        (start 0) (parts nil) (at nil))
    (while (setq at (string-search "\r" text start))
      (push (substring text start at) parts)
      (push (if (and (not dos) (< (1+ at) (length text)) (eq (aref text (1+ at)) ?\n)) "\r" mark) parts)
      (setq start (1+ at)))
    (push (substring text start) parts)
    (apply #'concat (nreverse parts))))

(defun marquill--count (needle &optional string)
  "How many times NEEDLE is in STRING, or in the current buffer when nil."
  (let ((n 0) (at 0))
    (if string
        (while (setq at (string-search needle string at))
          (setq n (1+ n) at (1+ at)))
      (save-excursion
        (goto-char (point-min))
        (while (search-forward needle nil t)
          (setq n (1+ n)))))
    n))

(defun marquill--unmask (output count mark)
  "Turn each MARK in buffer OUTPUT back into a CR; nil unless there are COUNT."
  (with-current-buffer output
    (goto-char (point-min))
    (let ((found 0))
      (while (search-forward mark nil t)
        (replace-match "\r" t t)
        (setq found (1+ found)))
      (= found count))))

(defun marquill--edit (start end args)
  "Run the filter with ARGS on the whole lines from START to END.
The lines change only when it succeeds, as one undo step."
  (barf-if-buffer-read-only)
  (let* ((bounds (marquill--line-bounds start end))
         (beg (car bounds)) (end (cdr bounds))
         (text (buffer-substring-no-properties beg end))
         (mark (marquill--cr-mark text))
         (sent (if mark (marquill--mask text mark) text))
         (output (generate-new-buffer " *marquill-output*" t)))
    (unwind-protect
        (let ((result (marquill--call sent nil (marquill--arguments args) output)))
          (unless (eql (car result) 0)
            (user-error "%s" (marquill--missing (marquill--message (cdr result) beg sent))))
          (unless (and (= (marquill--count "\n" text) (with-current-buffer output (marquill--count "\n")))
                       (or (null mark) (marquill--unmask output (marquill--count mark sent) mark)))
            (user-error "%s" (marquill--text "marquill: the output does not have the lines that went in")))
          (let ((new (with-current-buffer output (buffer-string))))
            (unless (string= text new)
              (marquill--replace beg end text new))))
      (kill-buffer output))))

;; The per-line work runs compiled even where this file is loaded as source.
(dolist (function '(marquill--lines marquill--shared marquill--replace-line marquill--replace-span
                    marquill--replace))
  (unless (byte-code-function-p (symbol-function function))
    (byte-compile function)))

(provide 'marquill-run)
;;; marquill-run.el ends here
