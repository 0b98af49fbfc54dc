;;; branding-package.el --- the branding layout language server in eglot  -*- lexical-binding: t -*-

;; Starts branding-package-inspect's language server, through eglot, in nxml buffers of
;; branding layouts only: an XML buffer whose first element is vantu-client-branding.
;; M-. goes to an image file, C-h . shows hover, M-x eglot-code-actions applies a quick fix;
;; a placeholder a fix leaves is selected, to be written over.
;; Load it with (require 'branding-package) once it is on the load path.

;;; Code:

(require 'eglot)

(defun branding-package--skip-markup ()
  "Move past the <? or <! construct at point, as the XML parser reads it; nil at its end.
A DOCTYPE ends at the first > outside its bracketed subset, whatever the subset holds."
  (cond ((looking-at "<\\?") (search-forward "?>" nil t))
        ((looking-at "<!--") (search-forward "-->" nil t))
        ((looking-at "<!\\[CDATA\\[") (search-forward "]]>" nil t))
        ((looking-at "<!DOCTYPE[ \t\r\n]")
         (let ((depth 0) (done nil))
           (forward-char 9)
           (while (and (not done) (not (eobp)))
             (let ((c (char-after)))
               (cond ((eq c ?\[) (setq depth (1+ depth)))
                     ((and (eq c ?\]) (> depth 0)) (setq depth (1- depth)))
                     ((and (eq c ?>) (= depth 0)) (setq done t))))
             (forward-char 1))
           done))
        (t (search-forward ">" nil t))))

(defun branding-package-layout-p ()
  "Whether the current buffer's first element is a branding layout's root."
  (save-excursion
    (goto-char (point-min))
    (catch 'found
      (while (search-forward "<" nil t)
        (backward-char 1)
        (if (looking-at "<[!?]")
            (unless (branding-package--skip-markup) (throw 'found nil))
          (throw 'found (looking-at "<vantu-client-branding[ \t\r\n/>]"))))
      nil)))

(defun branding-package-maybe-start ()
  "Start the branding layout language server for this buffer when it holds a layout."
  (when (and (executable-find "branding-package-inspect") (branding-package-layout-p))
    (eglot-ensure)))

(cl-defmethod eglot-execute-command
  (_server (_command (eql branding-package.select)) arguments)
  "Select the range in ARGUMENTS (a URI and a range) that a quick fix left to be written."
  (let ((file (eglot--uri-to-path (aref arguments 0))))
    (when (and buffer-file-name (file-equal-p file buffer-file-name))
      (let ((region (eglot--range-region (aref arguments 1))))
        (goto-char (cdr region))
        (push-mark (car region) t t)))))

(add-to-list 'eglot-server-programs '(nxml-mode . ("branding-package-inspect" "lsp")))
(add-hook 'nxml-mode-hook #'branding-package-maybe-start)

(provide 'branding-package)
;;; branding-package.el ends here
