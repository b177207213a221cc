function s = sparse_description(K, trans)
% SPARSE_DESCRIPTION  The sparse matrix description structure spardyn reads.
%
%   s = sparse_description(K) turns the host sparse matrix K (m x n) into a
%   structure with int32 row indices "ir" (0-based), int32 column pointers
%   "jc" (n+1 entries), values "pr", "trans" = 0 and "dims" = [m n].
%
%   s = sparse_description(K, true) stores K in transposed form: the arrays
%   describe K.' (compressed rows of K) and "trans" = 1, while "dims" stays
%   [m n], the size of the logical matrix K.  This is the storage the
%   observation products of non-linear terms expect.
%
%   spardyn cannot take Octave's own sparse matrices (their indices are
%   64-bit); every command that reads a matrix takes this structure.
%
%   Example:
%     K = spdiags([-ones(5,1) 2*ones(5,1) -ones(5,1)], -1:1, 5, 5);
%     y = zeros(5,1); spardyn('tbbp', sparse_description(K), ones(5,1), y);
  if nargin < 2, trans = false; end
  if ~issparse(K), K = sparse(K); end
  dims = size(K);
  if trans, K = K.'; end
  [i, ~, v] = find(K);
  jc = cumsum([0; full(sum(spones(K), 1)).']);
  s = struct('ir', int32(i - 1), 'jc', int32(jc), 'pr', full(v), ...
             'trans', double(logical(trans)), 'dims', double(dims));
end
